// A client killed at any moment while it adds and rewrites tasks: afterwards every task file
// is one whole document, every task the client saw stored is still there, and the next
// scheduler's first scan leaves no temporary behind. A daemon killed while it writes run records
// leaves every records file a whole list, and the next daemon's first records sweep what it left.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "apps/ProductSandbox.h"
#include "platform/FileSystem.h"
#include "platform/ProcessInfo.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"

namespace {

constexpr int kKills = 200;
constexpr int kDaemonKills = 3;
// Due at one second: more than the queue holds, so that records of runs and of runs turned away
// are written one file after the other.
constexpr int kTasksAtOnce = 100;

std::wstring Document(const std::wstring& name, int version) {
    // The padding makes each write long enough to be cut in the middle.
    return L"<Schedule Name=\"" + name + L"\" Version=\"" + std::to_wstring(version) +
           L"\"><Task><Trigger Type=\"0\"><BeginDate>2099-01-01 00:00:00</BeginDate>"
           L"</Trigger></Task><ApplicationName>/bin/true</ApplicationName><Parameters>" +
           std::wstring(4096, L'x') + L"</Parameters></Schedule>";
}

// Adds a task, then rewrites each task it made with the next version, over and over, writing
// a journal line "<identity> <version>" after each document was stored.
ZYN_CHILD_ROLE(TaskWriter) {
    const std::wstring folder = Utf8ToWideLossy(args.at(0));
    const std::wstring journal = Utf8ToWideLossy(args.at(1));
    const std::wstring ready = Utf8ToWideLossy(args.at(2));
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ComPtr<IZynTaskScheduler> scheduler;
    if (FAILED(CoCreateInstance(CLSID_ZynTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IZynTaskScheduler,
                                reinterpret_cast<void**>(scheduler.Receive()))) ||
        FAILED(scheduler->put_Config(
            CBstr(L"<TaskScheduler WorkFolder='" + folder + L"' WorkerThreadPoolSize='1'/>")
                .Get()))) {
        return 1;
    }
    AppendToFile(ready, "ready\n");
    struct Written {
        ComPtr<IZynTask> task;
        std::wstring name;
        int version = 0;
    };
    std::map<std::wstring, Written> written;
    for (int round = 0;; ++round) {
        const std::wstring name =
            std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(round);
        ComPtr<IZynTask> task;
        CBstr identity;
        const CVariantHolder omitted;
        if (FAILED(scheduler->CreateTask(omitted, task.Receive())) ||
            FAILED(task->get_Guid(identity.Receive())) ||
            FAILED(task->put_Xml(CBstr(Document(name, 0)).Get()))) {
            return 2;
        }
        AppendToFile(journal, WideToUtf8(std::wstring(identity.View())) + " 0\n");
        written[std::wstring(identity.View())] = {task, name, 0};
        for (auto& [id, entry] : written) {
            if (FAILED(entry.task->put_Xml(CBstr(Document(entry.name, entry.version + 1)).Get()))) {
                return 3;
            }
            ++entry.version;
            AppendToFile(journal, WideToUtf8(id) + " " + std::to_string(entry.version) + "\n");
        }
    }
}

// The last version the journal says was stored, per identity.
std::map<std::string, int> JournaledVersions(const std::string& journal) {
    std::map<std::string, int> versions;
    std::istringstream lines(FileText(journal));
    std::string identity;
    int version = 0;
    while (lines >> identity >> version) {
        versions[identity] = version;
    }
    return versions;
}

// The version a task file holds, or -1 when it is not one whole document of ours.
int StoredVersion(const std::string& path) {
    XmlDocument xml;
    std::wstring reason;
    if (!xml.Load(Utf8ToWideLossy(FileText(path)), reason)) {
        return -1;
    }
    const XmlNode version = xml.SelectSingle(L"//Schedule/@Version");
    const XmlNode parameters = xml.SelectSingle(L"//Parameters");
    if (!version || !parameters || parameters.Text().size() != 4096) {
        return -1;
    }
    return std::stoi(WideToUtf8(version.Text()));
}

TEST(CrashSafety, AClientKilledAnywhereLosesNoTaskAndTearsNoFile) {
    ProductSandbox sandbox;
    ASSERT_EQ(sandbox.Client({"register"}).status, 0);
    ASSERT_EQ(MakeDirectory(Utf8ToWideLossy(sandbox.WorkFolder()), 0700), ERROR_SUCCESS);
    const std::string journal = WideToUtf8(sandbox.Folder(L"journal"));
    std::mt19937 random(20261205);
    std::uniform_int_distribution<int> delayMs(0, 40);
    for (int kill = 0; kill < kKills; ++kill) {
        const std::string ready = WideToUtf8(sandbox.Folder(L"ready" + std::to_wstring(kill)));
        ChildProcess writer("TaskWriter", {sandbox.WorkFolder(), journal, ready});
        ASSERT_TRUE(WaitUntil([&] { return Exists(ready); }, 60))
            << "writer " << kill << " never got ready";
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        writer.Kill();
        ASSERT_EQ(writer.Wait(), kKilledExitStatus) << "the writer failed by itself";
    }

    const std::map<std::string, int> journaled = JournaledVersions(journal);
    ASSERT_GT(journaled.size(), 0u);
    for (const auto& [identity, version] : journaled) {
        const int stored = StoredVersion(sandbox.WorkFolder() + "/" + identity + ".xml");
        // The write after the last journal line may have been stored before the kill.
        EXPECT_TRUE(stored == version || stored == version + 1)
            << identity << " journaled " << version << ", stored " << stored;
    }
    std::vector<DirectoryEntry> entries;
    ASSERT_EQ(ListDirectory(Utf8ToWideLossy(sandbox.WorkFolder()), entries), ERROR_SUCCESS);
    for (const DirectoryEntry& entry : entries) {
        if (!entry.isDirectory && !entry.name.starts_with(L".")) {
            EXPECT_GE(StoredVersion(sandbox.WorkFolder() + "/" + WideToUtf8(entry.name)), 0)
                << WideToUtf8(entry.name) << " is torn";
        }
    }

    // Temporaries of killed writers count as abandoned once they are a few seconds old.
    std::this_thread::sleep_for(std::chrono::seconds(11));
    auto daemon = sandbox.StartDaemon();
    ASSERT_TRUE(sandbox.WaitUntilRunning()) << sandbox.DaemonErrors();
    entries.clear();
    ASSERT_EQ(ListDirectory(Utf8ToWideLossy(sandbox.WorkFolder()), entries), ERROR_SUCCESS);
    std::size_t documents = 0;
    for (const DirectoryEntry& entry : entries) {
        EXPECT_FALSE(entry.name.starts_with(L".")) << WideToUtf8(entry.name) << " was left";
        documents += entry.isDirectory ? 0 : 1;
    }
    EXPECT_GE(documents, journaled.size());
    const ProgramResult listed = sandbox.Client({"list"});
    EXPECT_EQ(
        static_cast<std::size_t>(std::count(listed.output.begin(), listed.output.end(), '\n')),
        documents)
        << "every document on disk is a task of the scheduler";
    daemon->Kill(SIGTERM);
    EXPECT_EQ(daemon->Wait(), 0);
}

// Tasks due `seconds` from now, written into the folder as a client does; their identities.
// (`batch` tells them apart from the tasks written before).
std::vector<std::string> WriteTasksDueIn(const ProductSandbox& sandbox, int seconds, int count,
                                         int batch) {
    const std::string due = LocalTimeFromNow(seconds);
    std::vector<std::string> identities;
    for (int task = 0; task < count; ++task) {
        char identity[48];
        std::snprintf(identity, sizeof identity, "{%08X-0000-4000-8000-%012X}", batch, task);
        const std::string document = TaskDocument(identity, OnceAt(due), "true");
        EXPECT_EQ(
            ReplaceFileAtomically(Utf8ToWideLossy(sandbox.WorkFolder() + "/" + identity + ".xml"),
                                  {document}, false),
            ERROR_SUCCESS);
        identities.emplace_back(identity);
    }
    return identities;
}

std::vector<DirectoryEntry> LogFolderEntries(const ProductSandbox& sandbox) {
    std::vector<DirectoryEntry> entries;
    ListDirectory(Utf8ToWideLossy(sandbox.WorkFolder() + "/Logs"), entries);
    return entries;
}

bool HasRecordsFile(const ProductSandbox& sandbox) {
    const auto entries = LogFolderEntries(sandbox);
    return std::any_of(entries.begin(), entries.end(),
                       [](const DirectoryEntry& entry) { return entry.name.ends_with(L".runs"); });
}

TEST(CrashSafety, ADaemonKilledWhileItWritesRunRecordsLeavesWholeLists) {
    ProductSandbox sandbox;
    ASSERT_EQ(sandbox.Client({"register"}).status, 0);
    ASSERT_EQ(MakeDirectory(Utf8ToWideLossy(sandbox.WorkFolder()), 0700), ERROR_SUCCESS);
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> delayMs(0, 30);
    for (int kill = 0; kill < kDaemonKills; ++kill) {
        WriteTasksDueIn(sandbox, 3, kTasksAtOnce, kill);
        const std::string name = "daemon" + std::to_string(kill);
        auto daemon = sandbox.StartDaemon({}, name);
        ASSERT_TRUE(sandbox.WaitUntilRunning(name)) << sandbox.DaemonErrors(name);
        ASSERT_TRUE(WaitUntil([&] { return HasRecordsFile(sandbox); }, 30));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        daemon->Kill();
        daemon->Wait();
        for (const DirectoryEntry& entry : LogFolderEntries(sandbox)) {
            if (!entry.name.ends_with(L".runs") || entry.name.starts_with(L".")) {
                continue;
            }
            XmlDocument records;
            std::wstring reason;
            const std::string text =
                FileText(sandbox.WorkFolder() + "/Logs/" + WideToUtf8(entry.name));
            EXPECT_TRUE(records.Load(Utf8ToWideLossy(text), reason) &&
                        !records.DocumentElement().ChildElements().empty())
                << WideToUtf8(entry.name) << " is torn: " << WideToUtf8(reason);
        }
    }

    // Temporaries of killed writers count as abandoned once they are a few seconds old.
    std::this_thread::sleep_for(std::chrono::seconds(11));
    const std::string last = WriteTasksDueIn(sandbox, 2, 1, kDaemonKills).front();
    auto daemon = sandbox.StartDaemon();
    ASSERT_TRUE(sandbox.WaitUntilRunning()) << sandbox.DaemonErrors();
    ProgramResult history;
    EXPECT_TRUE(WaitUntil(
        [&] {
            history = sandbox.Client({"history", last});
            return history.output.ends_with("\texited 0\tschedule\n");
        },
        30))
        << history.output << history.errors;
    for (const DirectoryEntry& entry : LogFolderEntries(sandbox)) {
        EXPECT_FALSE(entry.name.starts_with(L".")) << WideToUtf8(entry.name) << " was left";
    }
    daemon->Kill(SIGTERM);
    EXPECT_EQ(daemon->Wait(), 0);
}

}  // namespace
