// The scheduler object: Start from the registry settings, enabling and disabling, the
// configuration calls, and the task objects and collections it makes.
#include "automation/ZynTaskScheduler.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "automation/AutomationTestSupport.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/LogCall.h"
#include "support/LogCapture.h"

namespace {

constexpr wchar_t kComponent[] = L"Task Scheduler";

bool IsEnabled(IZynTaskScheduler& scheduler) {
    VARIANT_BOOL enabled = 0;
    EXPECT_EQ(S_OK, scheduler.get_Enabled(&enabled));
    return enabled == VARIANT_TRUE;
}

std::wstring Document(IZynTask* task) {
    CBstr xml;
    EXPECT_EQ(S_OK, task->get_Xml(xml.Receive()));
    return std::wstring(xml.View());
}

using ZynTaskSchedulerStart = SchedulerTest;

TEST_F(ZynTaskSchedulerStart, ClaimsTheFolderWritesTheDefaultsBackAndEnables) {
    LogCapture log;
    EXPECT_EQ(S_OK, Scheduler().Start());
    EXPECT_TRUE(IsEnabled(Scheduler()));
    EXPECT_TRUE(FileExists(LockFile(WorkFolder())));
    EXPECT_EQ(StoredSetting(L"Enable Logging"), NumberValue(0));
    EXPECT_EQ(StoredSetting(L"Execution Queue Size"), NumberValue(50));
    EXPECT_EQ(StoredSetting(L"Thread Pool Size"), NumberValue(5));
    EXPECT_EQ(StoredSetting(L"WorkFolder"), TextValue(WorkFolder()));
    EXPECT_TRUE(log.Contains(CE_SEVERITY_INFORMATION, kComponent, L"Task scheduler enabled"));
    CBstr config;
    EXPECT_EQ(S_OK, Scheduler().get_Config(config.Receive()));
    EXPECT_EQ(config.View(), L"<TaskScheduler WorkFolder='" + WorkFolder() + L"'/>");

    EXPECT_EQ(S_OK, Scheduler().Stop());
    EXPECT_FALSE(IsEnabled(Scheduler()));
    EXPECT_TRUE(log.Contains(CE_SEVERITY_INFORMATION, kComponent, L"Task scheduler disabled."));
    EXPECT_EQ(S_OK, Scheduler().Start());  // again, from the registry as it is now
    EXPECT_TRUE(IsEnabled(Scheduler()));

    ReleaseScheduler();  // the final release shuts the engine down
    EXPECT_FALSE(FileExists(LockFile(WorkFolder())));
}

TEST_F(ZynTaskSchedulerStart, HandsTheEngineTheFolderUnescaped) {
    const std::wstring folder = JoinPath(WorkFolder(), L"R&D's \"tasks\" <1>");
    StoreSetting(L"WorkFolder", TextValue(folder));
    EXPECT_EQ(S_OK, Scheduler().Start());
    EXPECT_TRUE(FileExists(LockFile(folder)));
}

TEST(ZynTaskSchedulerStartFailure, ARegistryThatCannotBeOpenedIsReported) {
    // No TempRegistry: the test main points the registry where nothing can be created.
    LogCapture log;
    ComPtr<CoZynTaskScheduler> scheduler;
    ASSERT_EQ(S_OK, CoZynTaskScheduler::Make(scheduler));
    const HRESULT hr = scheduler->Start();
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(HRESULT_FACILITY(hr), 7) << std::hex << hr;  // a system error code
    EXPECT_EQ(TakeErrorDescription(), L"Cannot configure the task scheduler");
    EXPECT_TRUE(
        log.Contains(CE_SEVERITY_ERROR, kComponent, L"Cannot configure the task scheduler"));
    EXPECT_FALSE(IsEnabled(*scheduler.Get()));
}

ZYN_CHILD_ROLE(StartScheduler) {
    ComPtr<CoZynTaskScheduler> scheduler;
    if (CoZynTaskScheduler::Make(scheduler) != S_OK || scheduler->Start() != S_OK) {
        return 1;
    }
    WriteBytes(Utf8ToWideLossy(args.at(0)), "started");
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

TEST_F(ZynTaskSchedulerStart, AnswersSFalseWhileAnotherProcessHoldsTheFolder) {
    TempFolder markers;
    const std::wstring started = markers / L"started";
    ChildProcess other("StartScheduler", {WideToUtf8(started)});
    ASSERT_TRUE(Eventually([&] { return FileExists(started); }));
    LogCapture log;
    EXPECT_EQ(S_FALSE, Scheduler().Start());
    EXPECT_FALSE(IsEnabled(Scheduler()));
    EXPECT_TRUE(log.Contains(CE_SEVERITY_INFORMATION, kComponent, L"Task scheduler enabled"));
    EXPECT_EQ(S_FALSE, Scheduler().put_Enabled(VARIANT_TRUE));
    other.Kill();
    other.Wait();
    // The folder is free again once its holder is gone; the next Start claims it.
    EXPECT_EQ(S_OK, Scheduler().Start());
    ReleaseScheduler();  // its threads write to `log`: they end before it does
}

using ZynTaskSchedulerEnabled = SchedulerTest;

TEST_F(ZynTaskSchedulerEnabled, OnlyAConfiguredEngineAndOnlyVariantTrueEnable) {
    EXPECT_EQ(S_FALSE, Scheduler().put_Enabled(VARIANT_TRUE));
    EXPECT_FALSE(IsEnabled(Scheduler()));
    ASSERT_EQ(S_OK, Scheduler().Start());
    EXPECT_EQ(S_OK, Scheduler().put_Enabled(1));
    EXPECT_FALSE(IsEnabled(Scheduler()));
    EXPECT_EQ(S_OK, Scheduler().put_Enabled(VARIANT_TRUE));
    EXPECT_TRUE(IsEnabled(Scheduler()));
    EXPECT_EQ(S_OK, Scheduler().put_Enabled(VARIANT_FALSE));
    EXPECT_FALSE(IsEnabled(Scheduler()));
}

TEST_F(ZynTaskSchedulerEnabled, NullPointersAreRefused) {
    using Call = HRESULT (*)(IZynTaskScheduler&);
    const std::pair<Call, const wchar_t*> rows[] = {
        {[](IZynTaskScheduler& s) { return s.get_Enabled(nullptr); },
         L"get_Enabled failed. Invalid bool pointer 0"},
        {[](IZynTaskScheduler& s) { return s.get_Config(nullptr); },
         L"get_Config failed. Can't write to BSTR at 0"},
        {[](IZynTaskScheduler& s) { return s.CreateTask(VARIANT{}, nullptr); },
         L"CreateTask failed. Create failed: Can't set task pointer at 0"},
        {[](IZynTaskScheduler& s) { return s.AddTask(nullptr); },
         L"AddTask failed. Invalid task pointer 0"},
        {[](IZynTaskScheduler& s) { return s.get_tasks(nullptr); }, L"get_Tasks failed."},
    };
    LogCapture log;
    for (const auto& [call, description] : rows) {
        SCOPED_TRACE(WideToUtf8(description));
        EXPECT_EQ(E_POINTER, call(Scheduler()));
        const std::wstring expected = L"CZynTaskScheduler::" + std::wstring(description);
        EXPECT_EQ(TakeErrorDescription().rfind(expected, 0), 0u);
        EXPECT_EQ(log.Matching(expected).size(), 1u);
    }
}

using ZynTaskSchedulerConfig = SchedulerTest;

TEST_F(ZynTaskSchedulerConfig, AHostMayConfigureAndEnableItselfAfterARefusedDocument) {
    LogCapture log;
    EXPECT_EQ(E_FAIL, Scheduler().put_Config(CBstr(L"<TaskScheduler").Get()));
    EXPECT_EQ(TakeErrorDescription().rfind(L"CZynTaskScheduler::put_Config failed. "
                                           L"CZynTaskSchedulerThread::SetConfiguration failed. "
                                           L"Failed to load task scheduler config into XMLDOM.",
                                           0),
              0u);
    EXPECT_EQ(log.Matching(L"CZynTaskScheduler::put_Config failed.").size(), 1u);

    const CBstr document(L"<TaskScheduler WorkFolder='" + WorkFolder() + L"'/>");
    EXPECT_EQ(S_OK, Scheduler().put_Config(document.Get()));
    EXPECT_TRUE(FileExists(LockFile(WorkFolder())));
    EXPECT_EQ(S_OK, Scheduler().put_Enabled(VARIANT_TRUE));
    EXPECT_TRUE(IsEnabled(Scheduler()));
    CBstr config;
    EXPECT_EQ(S_OK, Scheduler().get_Config(config.Receive()));
    EXPECT_EQ(config.View(), document.View());
    ReleaseScheduler();  // its threads write to `log`: they end before it does
}

using ZynTaskSchedulerTasks = SchedulerTest;

TEST_F(ZynTaskSchedulerTasks, CreateTaskWithoutDocumentHasAFreshIdentityOnly) {
    ASSERT_EQ(S_OK, Scheduler().Start());
    ComPtr<IZynTask> first;
    ComPtr<IZynTask> second;
    EXPECT_EQ(S_OK, Scheduler().CreateTask(VARIANT{}, first.Receive()));
    CVariantHolder omitted;
    omitted.vt = VT_ERROR;
    omitted.scode = DISP_E_PARAMNOTFOUND;
    EXPECT_EQ(S_OK, Scheduler().CreateTask(omitted, second.Receive()));
    CLSID parsed{};
    EXPECT_EQ(S_OK, CLSIDFromString(Identity(first.Get()).c_str(), &parsed));
    EXPECT_NE(Identity(first.Get()), Identity(second.Get()));
    EXPECT_EQ(Document(first.Get()), L"");
    EXPECT_EQ(S_OK, Scheduler().AddTask(first.Get()));  // its put_Xml fails; not looked at
    LONG count = -1;
    EXPECT_EQ(S_OK, Tasks()->get_Count(&count));
    EXPECT_EQ(count, 0);  // nothing is stored without a document, not even by AddTask
}

TEST_F(ZynTaskSchedulerTasks, CreateTaskWithANumberFailsAsADocument) {
    ASSERT_EQ(S_OK, Scheduler().Start());
    LogCapture log;
    ComPtr<IZynTask> task;
    EXPECT_EQ(E_FAIL, Scheduler().CreateTask(CVariantHolder(42), task.Receive()));
    EXPECT_FALSE(task);
    EXPECT_EQ(TakeErrorDescription().rfind(
                  L"CZynTaskScheduler::CreateTask failed. Failed to put XML for task.", 0),
              0u);
    EXPECT_EQ(log.Matching(L"CZynTaskScheduler::CreateTask failed. Failed to put XML").size(), 1u);
    EXPECT_FALSE(log.Matching(L"CZynTask::put_Xml failed.").empty());
    ReleaseScheduler();  // its threads write to `log`: they end before it does
}

TEST_F(ZynTaskSchedulerTasks, CreateTaskStoresADocumentWithAFreeNameAndAddTaskStoresItAgain) {
    ASSERT_EQ(S_OK, Scheduler().Start());
    const ComPtr<IZynTask> task = CreateTask(TaskDocument(L"weekly"));
    ASSERT_TRUE(task);
    const std::wstring file = JoinPath(WorkFolder(), Identity(task.Get()) + L".xml");
    EXPECT_TRUE(FileExists(file));
    EXPECT_NE(Document(task.Get()).find(L"Name=\"weekly\""), std::wstring::npos);
    // The engine checks names against its own list, which its thread refreshes when it sees
    // the folder change; Start reloads it at once.
    ASSERT_EQ(S_OK, Scheduler().Start());
    ComPtr<IZynTask> taken;
    EXPECT_EQ(E_FAIL,
              Scheduler().CreateTask(CVariantHolder(TaskDocument(L"weekly")), taken.Receive()));
    EXPECT_FALSE(taken);

    ASSERT_EQ(S_OK, task->DeleteTask());
    ASSERT_FALSE(FileExists(file));
    EXPECT_EQ(S_OK, Scheduler().AddTask(task.Get()));
    EXPECT_TRUE(FileExists(file));
}

TEST_F(ZynTaskSchedulerTasks, TheEngineOutlivesTheSchedulerWhileItsObjectsLive) {
    ASSERT_EQ(S_OK, Scheduler().Start());
    const ComPtr<IZynTask> task = CreateTask(TaskDocument(L"hourly"));
    const ComPtr<IZynTasks> tasks = Tasks();
    ReleaseScheduler();
    EXPECT_FALSE(FileExists(LockFile(WorkFolder())));
    EXPECT_FALSE(Document(task.Get()).empty());
    LONG count = 0;
    EXPECT_EQ(S_OK, tasks->get_Count(&count));
    EXPECT_EQ(count, 1);
}

}  // namespace
