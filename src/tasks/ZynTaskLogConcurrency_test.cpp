// Several writers appending run times to one task's log at once, from threads and from
// processes. The history keeps only the newest entries, so the check does not count what
// survives; it relies on what no lost update can leave behind. Writer w logs its runs
// 0, 1, 2 ... in order, and while every update holds the mutex from read to save, the
// history at any moment is the newest entries of one global order: each writer's entries in
// it are consecutive runs ending at that writer's latest saved run. An update that saved a
// document read before another writer's save drops that writer's entry, which shows as a
// gap in its runs or as its latest run missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <latch>
#include <optional>
#include <thread>

#include "platform/NamedMutex.h"
#include "platform/ObjectAccess.h"
#include "platform/Path.h"
#include "platform/Wait.h"
#include "support/ChildProcess.h"
#include "support/Folders.h"
#include "support/TempFolder.h"
#include "tasks/TaskTestSupport.h"
#include "tasks/ZynTaskLog.h"

namespace {

constexpr int kRunsPerWriter = 200;
constexpr int kWriters = 2;
constexpr DATE kFirstOfJanuary2024 = 45292;
constexpr int kStartPolls = 30000;

// Writer w's run r: January w + 1, 2024, r seconds after midnight.
DATE RunTime(int writer, int run) {
    return kFirstOfJanuary2024 + writer + run / 86400.0;
}

struct HistoryEntry {
    int writer;
    int run;
};

// The entries of the history in document order; a problem when one is not a run time above.
std::string ReadHistory(CZynTaskLog& log, std::vector<HistoryEntry>& history) {
    std::wstring text;
    if (FAILED(log.ReadLogXml(text))) {
        return "the log cannot be read";
    }
    XmlDocument document;
    std::wstring reason;
    if (!document.Load(text, reason)) {
        return "the log is no XML: " + WideToUtf8(reason);
    }
    for (const XmlNode& node : document.SelectAll(L"//TaskHistory/LastRunTime")) {
        const std::string entry = WideToUtf8(node.Text());
        int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
        if (std::sscanf(entry.c_str(), "%d-%d-%d %d:%d:%d", &month, &day, &year, &hour, &minute,
                        &second) != 6 ||
            month != 1 || year != 2024 || day < 1 || day > kWriters) {
            return "unexpected entry " + entry;
        }
        history.push_back({day - 1, hour * 3600 + minute * 60 + second});
    }
    return {};
}

// Each writer's runs in the history, in document order.
std::vector<std::vector<int>> RunsByWriter(const std::vector<HistoryEntry>& history) {
    std::vector<std::vector<int>> runs(kWriters);
    for (const HistoryEntry& entry : history) {
        runs[static_cast<std::size_t>(entry.writer)].push_back(entry.run);
    }
    return runs;
}

// What shows that an update was lost; empty when nothing does. `latest` holds each writer's
// latest saved run (-1: not known to the caller).
std::string LostUpdate(const std::vector<HistoryEntry>& history, const std::vector<int>& latest) {
    if (history.size() > kKeptRunTimes) {
        return "the history holds " + std::to_string(history.size()) + " entries";
    }
    const std::vector<std::vector<int>> runs = RunsByWriter(history);
    for (std::size_t writer = 0; writer < runs.size(); ++writer) {
        const std::vector<int>& own = runs[writer];
        const std::string who = "writer " + std::to_string(writer);
        for (std::size_t i = 1; i < own.size(); ++i) {
            if (own[i] != own[i - 1] + 1) {
                return who + " has run " + std::to_string(own[i - 1]) + " then run " +
                       std::to_string(own[i]);
            }
        }
        if (latest[writer] < 0) {
            continue;
        }
        if (own.empty() ? history.size() < kKeptRunTimes : own.back() != latest[writer]) {
            return who + "'s run " + std::to_string(latest[writer]) + " is missing";
        }
    }
    return {};
}

class MutexHold {
public:
    explicit MutexHold(NamedMutex& mutex) : m_mutex(mutex) {
        const DWORD result = m_mutex.Acquire(INFINITE);
        m_acquired = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
    ~MutexHold() {
        if (m_acquired) {
            m_mutex.Release();
        }
    }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;

    bool Acquired() const { return m_acquired; }

private:
    NamedMutex& m_mutex;
    bool m_acquired = false;
};

// Logs the writer's runs one by one, looking at the history after each under the task's
// mutex, where no update is half-way. The first sign of a lost update, or empty.
std::string AppendRuns(const std::wstring& folder, const std::wstring& guid, int writer) {
    CreateDirectoryPath(folder);
    const std::optional<ObjectAccess> access = ObjectAccess::ForFolder(folder);
    const std::unique_ptr<NamedMutex> mutex =
        access ? NamedMutex::Open(L"LogMutex" + guid, *access) : nullptr;
    if (!mutex) {
        return "the task's mutex cannot be opened";
    }
    std::vector<int> latest(kWriters, -1);
    for (int run = 0; run < kRunsPerWriter; ++run) {
        CZynTaskLog log(folder, guid);
        log.LogLastRunTime(RunTime(writer, run));
        latest[static_cast<std::size_t>(writer)] = run;
        const MutexHold hold(*mutex);
        std::vector<HistoryEntry> history;
        std::string problem = hold.Acquired() ? ReadHistory(log, history) : "no mutex";
        if (problem.empty()) {
            problem = LostUpdate(history, latest);
        }
        if (!problem.empty()) {
            return "after run " + std::to_string(run) + " of writer " + std::to_string(writer) +
                   ": " + problem;
        }
    }
    return {};
}

// Every writer has finished: the history is the newest entries, each writer's ending at its
// last run.
void ExpectNothingLost(const std::wstring& folder, const std::wstring& guid) {
    CZynTaskLog log(folder, guid);
    std::vector<HistoryEntry> history;
    ASSERT_EQ(ReadHistory(log, history), "");
    EXPECT_EQ(history.size(), kKeptRunTimes);
    EXPECT_EQ(LostUpdate(history, std::vector<int>(kWriters, -1)), "");
    for (const std::vector<int>& runs : RunsByWriter(history)) {
        if (!runs.empty()) {
            EXPECT_EQ(runs.back(), kRunsPerWriter - 1);
        }
    }
}

// Arguments: log folder, task identity, writer number, the file whose appearance starts it.
ZYN_CHILD_ROLE(AppendTaskLogRunTimes) {
    if (args.size() != 4) {
        return 2;
    }
    const std::wstring start = Utf8ToWideLossy(args[3]);
    for (int poll = 0; poll < kStartPolls && !FileExists(start); ++poll) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::string problem =
        AppendRuns(Utf8ToWideLossy(args[0]), Utf8ToWideLossy(args[1]), std::stoi(args[2]));
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    return 0;
}

TEST(ZynTaskLogConcurrencyTest, ProcessesAppendingAtOnceLoseNoRunTime) {
    const TempFolder folder;
    const std::wstring logs = folder / L"Logs";
    const std::wstring guid = FreshTaskGuid();
    const std::wstring start = folder / L"start";
    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
        writers.push_back(std::make_unique<ChildProcess>(
            "AppendTaskLogRunTimes",
            std::vector<std::string>{WideToUtf8(logs), WideToUtf8(guid), std::to_string(writer),
                                     WideToUtf8(start)}));
    }
    WriteBytes(start, "go");
    for (const std::unique_ptr<ChildProcess>& writer : writers) {
        EXPECT_EQ(writer->Wait(), 0) << "see the writer's report above";
    }
    ExpectNothingLost(logs, guid);
}

TEST(ZynTaskLogConcurrencyTest, ThreadsAppendingAtOnceLoseNoRunTime) {
    const TempFolder folder;
    const std::wstring logs = folder / L"Logs";
    const std::wstring guid = FreshTaskGuid();
    std::latch start(kWriters);
    std::vector<std::string> problems(kWriters);
    std::vector<std::thread> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
        writers.emplace_back([&, writer] {
            start.arrive_and_wait();
            problems[static_cast<std::size_t>(writer)] = AppendRuns(logs, guid, writer);
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    for (const std::string& problem : problems) {
        EXPECT_EQ(problem, "");
    }
    ExpectNothingLost(logs, guid);
}

}  // namespace
