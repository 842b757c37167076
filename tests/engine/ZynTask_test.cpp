// The task object's members through its interface, as a client calls them, on a real engine.
#include <gtest/gtest.h>

#include <cfloat>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "automation/ZynTask.h"
#include "engine/EngineTestSupport.h"
#include "platform/ComError.h"
#include "platform/Path.h"
#include "platform/SystemMessage.h"
#include "support/Folders.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"

namespace {

constexpr wchar_t kGuid[] = L"{33333333-3333-4333-8333-333333333333}";

std::wstring ErrorDescription() {
    ComPtr<IErrorInfo> record;
    if (GetErrorInfo(0, record.Receive()) != S_OK) {
        return L"<no record>";
    }
    return ComError(S_OK, record).Description();
}

class ZynTaskTest : public testing::Test {
protected:
    ZynTaskTest() : clock(LocalMoment(2030, 1, 1, 9, 0, 0)) {
        engine.Configure();
        task = MakeZynTask(CountedPtr<CZynTaskSchedulerThread>(&*engine), 1);
    }

    HRESULT SetDocument(const std::wstring& document) {
        return task->put_Xml(CBstr(document).Get());
    }

    TestClock clock;
    TestEngine engine;
    ComPtr<IZynTask> task;
};

TEST_F(ZynTaskTest, IdentityIsSetOnceAndOpensAnExistingFile) {
    engine.WriteTask(kGuid, OnceTask(L"Existing", L"2030-01-01 10:00:00"));
    CBstr identity;
    ASSERT_EQ(task->get_Guid(identity.Receive()), S_OK);
    EXPECT_EQ(identity.Get(), nullptr);
    CBstr xml;
    ASSERT_EQ(task->get_Xml(xml.Receive()), S_OK);
    EXPECT_EQ(xml.View(), L"");  // no identity: empty, not null
    EXPECT_NE(xml.Get(), nullptr);
    ASSERT_EQ(task->put_Guid(CBstr(kGuid).Get()), S_OK);
    ASSERT_EQ(task->get_Guid(identity.Receive()), S_OK);
    EXPECT_EQ(identity.View(), kGuid);
    ASSERT_EQ(task->get_Xml(xml.Receive()), S_OK);
    EXPECT_NE(std::wstring(xml.View()).find(L"Existing"), std::wstring::npos);
    LogCapture log;
    EXPECT_EQ(task->put_Guid(CBstr(L"{44444444-4444-4444-8444-444444444444}").Get()),
              E_ACCESSDENIED);
    EXPECT_NE(ErrorDescription().find(L"Cannot set task's GUID more than once."),
              std::wstring::npos);
    EXPECT_EQ(task->get_Xml(nullptr), S_OK);
}

TEST_F(ZynTaskTest, DocumentIsCheckedStoredAndReported) {
    ASSERT_EQ(task->put_Guid(CBstr(kGuid).Get()), S_OK);
    LogCapture log;
    EXPECT_EQ(SetDocument(L"<Schedule Name='x'><Task>"), E_FAIL);
    EXPECT_NE(ErrorDescription().find(
                  L"CZynTask::put_Xml failed. Failed to load task xml into XMLDOM. Error "),
              std::wstring::npos);
    EXPECT_EQ(SetDocument(L"<Schedule><Task/></Schedule>"), E_POINTER);
    EXPECT_EQ(log.Matching(L"CZynTask::put_Xml failed. " + HResultText(E_POINTER)).size(), 1u);
    ASSERT_EQ(SetDocument(OnceTask(L"Stored", L"2030-01-01 10:00:00")), S_OK);
    EXPECT_TRUE(FileExists(JoinPath(engine.WorkFolder(), std::wstring(kGuid) + L".xml")));
}

TEST_F(ZynTaskTest, NextRunTimeAndDueness) {
    ASSERT_EQ(task->put_Guid(CBstr(kGuid).Get()), S_OK);
    ASSERT_EQ(SetDocument(OnceTask(L"Soon", L"2030-01-01 10:00:00")), S_OK);
    CVariantHolder absent;
    absent.vt = VT_ERROR;
    absent.scode = DISP_E_PARAMNOTFOUND;
    DATE next = 0;
    ASSERT_EQ(task->GetNextRunTime(absent, &next), S_OK);
    SYSTEMTIME st{};
    VariantTimeToSystemTime(next, &st);
    EXPECT_EQ(st.wHour, 10);
    const CVariantHolder text(L"2030-01-01 11:00:00");
    ASSERT_EQ(task->GetNextRunTime(text, &next), S_OK);
    EXPECT_EQ(next, 0.0);  // the once run is behind that date
    const CVariantHolder notADate(L"tomorrow");
    LogCapture log;
    EXPECT_EQ(task->GetNextRunTime(notADate, &next), DISP_E_TYPEMISMATCH);
    EXPECT_NE(ErrorDescription().find(L"VariantChangeType failed to convert date."),
              std::wstring::npos);
    EXPECT_EQ(task->GetNextRunTime(absent, nullptr), E_POINTER);
    EXPECT_NE(ErrorDescription().find(L"Can't write to DATE at 0"), std::wstring::npos);

    VARIANT_BOOL due = VARIANT_TRUE;
    ASSERT_EQ(task->IsDue(absent, absent, &due), S_OK);
    EXPECT_EQ(due, VARIANT_FALSE);  // 09:00 now, the run is at 10:00
    clock.Set(LocalMoment(2030, 1, 1, 10, 0, 0));
    ASSERT_EQ(task->IsDue(absent, absent, &due), S_OK);
    EXPECT_EQ(due, VARIANT_TRUE);
    LONG index = 7;
    ASSERT_EQ(task->GetNextTriggerIndex(&index), S_OK);
    EXPECT_EQ(index, 0);
}

TEST_F(ZynTaskTest, RevisionMovesWithEachDocument) {
    ComPtr<IZynRunSchedule> revision;
    ASSERT_EQ(
        task->QueryInterface(IID_IZynRunSchedule, reinterpret_cast<void**>(revision.Receive())),
        S_OK);
    ASSERT_EQ(task->put_Guid(CBstr(kGuid).Get()), S_OK);
    ASSERT_EQ(SetDocument(OnceTask(L"Plain", L"2030-01-01 10:00:00")), S_OK);
    const std::uint64_t first = revision->ScheduleRevision();
    EXPECT_NE(first, 0u);
    EXPECT_EQ(revision->ScheduleRevision(), first) << "asking changes nothing";
    DATE next = 0;
    ASSERT_EQ(task->GetNextRunTime(CVariantHolder(L"2030-01-01 09:00:00"), &next), S_OK);
    EXPECT_EQ(revision->ScheduleRevision(), first) << "computing a run changes nothing";

    ASSERT_EQ(SetDocument(OnceTask(L"Plain", L"2030-01-01 11:00:00")), S_OK);
    const std::uint64_t second = revision->ScheduleRevision();
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
    engine.WriteTask(kGuid, OnceTask(L"Plain", L"2030-01-01 12:00:00"));
    ASSERT_EQ(task->get_Xml(nullptr), S_OK);  // reads the file again
    EXPECT_NE(revision->ScheduleRevision(), second);
}

TEST_F(ZynTaskTest, DeleteRemovesTheFilesAndLeavesTheSchedule) {
    ASSERT_EQ(task->put_Guid(CBstr(kGuid).Get()), S_OK);
    ASSERT_EQ(SetDocument(OnceTask(L"Gone", L"2030-01-01 10:00:00")), S_OK);
    engine->UpdateTaskList();
    CreateDirectoryPath(JoinPath(engine.WorkFolder(), L"Logs"));
    const std::wstring logFile =
        JoinPath(engine.WorkFolder(), std::wstring(L"Logs/") + kGuid + L".xml");
    WriteBytes(logFile, "<TaskLog/>");
    ASSERT_EQ(task->DeleteTask(), S_OK);
    EXPECT_FALSE(FileExists(JoinPath(engine.WorkFolder(), std::wstring(kGuid) + L".xml")));
    EXPECT_FALSE(FileExists(logFile));
    {
        ScopedLock lock(engine->MainLock());
        EXPECT_EQ(engine->TaskList()->GetCount(), 0u);
    }
    EXPECT_EQ(task->DeleteTask(), S_OK);  // nothing left to delete is no failure
}

TEST_F(ZynTaskTest, LogIsEmptyWithLoggingOffAndReadWithItOn) {
    ASSERT_EQ(task->put_Guid(CBstr(kGuid).Get()), S_OK);
    ASSERT_EQ(SetDocument(OnceTask(L"Logged", L"2030-01-01 10:00:00")), S_OK);
    CBstr log;
    ASSERT_EQ(task->get_Log(log.Receive()), S_OK);
    EXPECT_EQ(log.View(), L"");
    engine.Configure(L"LoggingEnabled='1'");
    ASSERT_EQ(SetDocument(OnceTask(L"Logged", L"2030-01-01 10:00:00")), S_OK);
    ASSERT_EQ(task->get_Log(log.Receive()), S_OK);
    EXPECT_NE(std::wstring(log.View()).find(L"Logged"), std::wstring::npos);
}

TEST(ZynTaskWithoutEngine, EveryMemberAnswersUnexpected) {
    ComPtr<IZynTask> bare;
    ASSERT_EQ(CComInstance<CZynTask>::Create(nullptr, IID_IZynTask,
                                             reinterpret_cast<void**>(bare.Receive())),
              S_OK);
    LogCapture log;
    CBstr text;
    EXPECT_EQ(bare->get_Xml(text.Receive()), E_UNEXPECTED);
    EXPECT_EQ(bare->ExecuteTask(), E_UNEXPECTED);
    EXPECT_EQ(log.Matching(L"CZynTask::ExecuteTask failed.").size(), 1u);
}

}  // namespace
