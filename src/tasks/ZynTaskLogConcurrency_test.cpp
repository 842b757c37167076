// Several writers appending run times to one task's log at once, from threads and from
// processes. The history keeps only the newest entries, so the check does not count what
// survives; it relies on what no lost update can leave behind. Writer w logs its runs
// 0, 1, 2 ... in order, and while every update holds the mutex from read to save, the
// history at any moment is the newest entries of one global order: each writer's entries in
// it are consecutive runs ending at that writer's latest saved run. An update that saved a
// document read before another writer's save drops that writer's entry, which shows as a
// gap in its runs or as its latest run missing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <thread>

#include "platform/NamedMutex.h"
#include "platform/ObjectAccess.h"
#include "platform/Path.h"
#include "platform/Wait.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/Folders.h"
#include "support/TempFolder.h"
#include "tasks/TaskTestSupport.h"
#include "tasks/ZynTaskLog.h"

namespace {

constexpr int kRunsPerWriter = 200;
constexpr int kWriters = 2;
constexpr DATE kFirstOfJanuary2024 = 45292;

// Writer w's run r: January w + 1, 2024, r seconds after midnight.
DATE RunTime(int writer, int run) {
    return kFirstOfJanuary2024 + writer + run / 86400.0;
}

// Each writer's runs in the history, in document order; a problem when an entry is not a run
// time above.
std::string ReadRuns(CZynTaskLog& log, std::vector<std::vector<int>>& runs, std::size_t& size) {
    std::wstring text;
    XmlDocument document;
    std::wstring reason;
    if (FAILED(log.ReadLogXml(text)) || !document.Load(text, reason)) {
        return "the log cannot be read: " + WideToUtf8(reason);
    }
    runs.assign(kWriters, {});
    size = 0;
    for (const XmlNode& node : document.SelectAll(L"//TaskHistory/LastRunTime")) {
        const std::string entry = WideToUtf8(node.Text());
        int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
        if (std::sscanf(entry.c_str(), "%d-%d-%d %d:%d:%d", &month, &day, &year, &hour, &minute,
                        &second) != 6 ||
            month != 1 || year != 2024 || day < 1 || day > kWriters) {
            return "unexpected entry " + entry;
        }
        runs[static_cast<std::size_t>(day - 1)].push_back(hour * 3600 + minute * 60 + second);
        ++size;
    }
    return {};
}

// What shows that an update was lost; empty when nothing does. `latest` holds each writer's
// latest saved run (-1: not known to the caller).
std::string LostUpdate(CZynTaskLog& log, const std::vector<int>& latest) {
    std::vector<std::vector<int>> runs;
    std::size_t size = 0;
    if (std::string problem = ReadRuns(log, runs, size); !problem.empty()) {
        return problem;
    }
    if (size > kKeptRunTimes) {
        return "the history holds " + std::to_string(size) + " entries";
    }
    for (std::size_t writer = 0; writer < runs.size(); ++writer) {
        const std::vector<int>& own = runs[writer];
        const std::string who = "writer " + std::to_string(writer);
        for (std::size_t i = 1; i < own.size(); ++i) {
            if (own[i] != own[i - 1] + 1) {
                return who + " has run " + std::to_string(own[i - 1]) + " then run " +
                       std::to_string(own[i]);
            }
        }
        if (latest[writer] >= 0 &&
            (own.empty() ? size < kKeptRunTimes : own.back() != latest[writer])) {
            return who + "'s run " + std::to_string(latest[writer]) + " is missing";
        }
    }
    return {};
}

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
        const DWORD held = mutex->Acquire(INFINITE);
        if (held != WAIT_OBJECT_0 && held != WAIT_ABANDONED) {
            return "no mutex";
        }
        const std::string problem = LostUpdate(log, latest);
        mutex->Release();
        if (!problem.empty()) {
            return "after run " + std::to_string(run) + " of writer " + std::to_string(writer) +
                   ": " + problem;
        }
    }
    return {};
}

// Arguments: log folder, task identity, writer number, the file whose appearance starts it.
ZYN_CHILD_ROLE(AppendTaskLogRunTimes) {
    const std::wstring start = Utf8ToWideLossy(args.at(3));
    Eventually([&] { return FileExists(start); });
    const std::string problem =
        AppendRuns(Utf8ToWideLossy(args[0]), Utf8ToWideLossy(args[1]), std::stoi(args[2]));
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    return 0;
}

// Every writer has finished: the history is the newest entries, each writer's ending at its
// last run.
class ZynTaskLogConcurrencyTest : public testing::Test {
protected:
    void TearDown() override {
        CZynTaskLog log(logs, guid);
        std::vector<std::vector<int>> runs;
        std::size_t size = 0;
        ASSERT_EQ(ReadRuns(log, runs, size), "");
        EXPECT_EQ(size, 50u);  // the number the documentation gives, not the code's constant
        EXPECT_EQ(LostUpdate(log, std::vector<int>(kWriters, kRunsPerWriter - 1)), "");
    }

    const TempFolder folder;
    const std::wstring logs = folder / L"Logs";
    const std::wstring guid = FreshTaskGuid();
};

TEST_F(ZynTaskLogConcurrencyTest, ProcessesAppendingAtOnceLoseNoRunTime) {
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
}

TEST_F(ZynTaskLogConcurrencyTest, ThreadsAppendingAtOnceLoseNoRunTime) {
    // A counter, not std::latch: the latch of the Windows build's C++ library can miss its
    // wake-up and leave a writer waiting for ever.
    std::atomic<int> arrived{0};
    std::vector<std::string> problems(kWriters);
    std::vector<std::thread> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
        writers.emplace_back([&, writer] {
            ++arrived;
            while (arrived.load() < kWriters) {
                std::this_thread::yield();
            }
            problems[static_cast<std::size_t>(writer)] = AppendRuns(logs, guid, writer);
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    for (const std::string& problem : problems) {
        EXPECT_EQ(problem, "");
    }
}

}  // namespace
