// Records per second written into the agent log file, from one and from four threads of this
// process, and from four processes at once (the benchmark starts itself four times as a
// writer), with the file in a temporary folder and the default limits (so rotation happens
// along the way). After every run the log files are read back: each must be a sequence of
// complete records. The four writers' records are also counted, each writer's exactly once.
//
//   agent_log_bench                                   the benchmarks
//   agent_log_bench --agent-log-writer W N BARRIER    (internal) writer W of N records
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ZynTaskSchedulerLib/AgentLogNames.h"
#include "ZynTaskSchedulerLib/Registry.h"
#include "platform/FileSystem.h"
#include "platform/ObjectAccess.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"
#include "platform/SharedMemory.h"
#include "platform/SpawnedProcess.h"
#include "platform/UserFolders.h"
#include "platform/Wait.h"
#include "platform/WideText.h"
#include "support/AgentLog.h"
#include "support/Folders.h"

namespace {

constexpr char kWriterMode[] = "--agent-log-writer";
constexpr int kWriters = 4;
constexpr int kRecordsPerWriter = 1000;  // four writers stay below the default 20 files
constexpr std::size_t kMaxLogBytes = 64 * 1024 * 1024;
constexpr wchar_t kSource[] = L"CZynTaskSchedulerThread Thread";
constexpr wchar_t kMessage[] =
    L"Queueing task {6B29FC40-CA47-1067-B31D-00DD010662DA} for execution";

struct BenchLog {
    BenchLog() {
        folder = L"/tmp/zynbench-agentlog-" + std::to_wstring(GetCurrentProcessId());
        RemoveDirectoryTree(folder, false, true);
        MakeDirectory(folder);
        SetEnvironmentText("ZYN_REGISTRY", JoinPath(folder, L"registry"));
        HKEY key{};
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAgentLogSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        const std::vector<BYTE> data = RegStringData(Logs());
        RegSetValueExW(key, L"FilePath", 0, REG_SZ, data.data(), static_cast<DWORD>(data.size()));
        RegCloseKey(key);
        log = std::make_unique<CAgentLog>();
    }
    ~BenchLog() {
        log.reset();
        RemoveDirectoryTree(folder, false, true);
    }
    std::wstring Logs() const { return JoinPath(folder, L"logs"); }

    std::wstring folder;
    std::unique_ptr<CAgentLog> log;
};

BenchLog& Shared() {
    static BenchLog bench;
    return bench;
}

// What reading the log files back found.
struct LogCensus {
    std::size_t records = 0;
    bool complete = true;  // every file is a sequence of whole records
    std::vector<std::vector<int>> writerRecords = std::vector<std::vector<int>>(kWriters);
};

bool Consume(std::string_view& text, std::string_view expected) {
    if (!text.starts_with(expected)) {
        return false;
    }
    text.remove_prefix(expected.size());
    return true;
}

bool AllDigits(std::string_view value) {
    return !value.empty() && value.find_first_not_of("0123456789") == std::string_view::npos;
}

// Takes one whole record off the front of `text`, with its message.
bool NextRecord(std::string_view& text, std::string_view& message) {
    struct Field {
        std::string_view name;
        bool numeric;
    };
    static constexpr Field kFields[] = {
        {"date", false},   {"severity", true}, {"hostName", false},
        {"source", false}, {"module", false},  {"process", false},
        {"pid", true},     {"thread", true},   {"tickCount", true},
    };
    if (!Consume(text, "\r\n<event")) {
        return false;
    }
    for (const Field& field : kFields) {
        if (!Consume(text, " ") || !Consume(text, field.name) || !Consume(text, "='")) {
            return false;
        }
        const std::size_t end = text.find('\'');
        if (end == std::string_view::npos || (field.numeric && !AllDigits(text.substr(0, end)))) {
            return false;
        }
        text.remove_prefix(end + 1);
    }
    constexpr std::string_view kClose = "]]>\r\n</event>";
    if (!Consume(text, " >\r\n  <![CDATA[")) {
        return false;
    }
    const std::size_t end = text.find(kClose);
    if (end == std::string_view::npos) {
        return false;
    }
    message = text.substr(0, end);
    text.remove_prefix(end + kClose.size());
    return true;
}

// "<kMessage>, writer W record R" gives W and R.
void CountWriterRecord(std::string_view message, LogCensus& census) {
    const std::size_t at = message.rfind(", writer ");
    if (at == std::string_view::npos) {
        return;
    }
    const std::string tail(message.substr(at + 9));
    char* rest = nullptr;
    const long writer = std::strtol(tail.c_str(), &rest, 10);
    if (writer >= 0 && writer < kWriters && std::string_view(rest).starts_with(" record ")) {
        census.writerRecords[writer].push_back(std::atoi(rest + 8));
    }
}

LogCensus ReadBack(const std::wstring& logs) {
    LogCensus census;
    std::vector<DirectoryEntry> entries;
    ListDirectory(logs, entries);
    for (const DirectoryEntry& entry : entries) {
        if (!entry.name.starts_with(L"Agent") || !entry.name.ends_with(L".log")) {
            continue;
        }
        std::string bytes;
        if (ReadRegularFile(JoinPath(logs, entry.name), bytes, kMaxLogBytes) != ERROR_SUCCESS) {
            census.complete = false;
            continue;
        }
        std::string_view text = bytes;
        std::string_view message;
        while (!text.empty() && NextRecord(text, message)) {
            ++census.records;
            CountWriterRecord(message, census);
        }
        census.complete = census.complete && text.empty();
    }
    return census;
}

// Each writer's records 0 to kRecordsPerWriter - 1, each once.
bool EveryWriterRecordOnce(const LogCensus& census) {
    for (const std::vector<int>& records : census.writerRecords) {
        std::vector<bool> seen(kRecordsPerWriter, false);
        for (int record : records) {
            if (record < 0 || record >= kRecordsPerWriter || seen[record]) {
                return false;
            }
            seen[record] = true;
        }
        if (records.size() != static_cast<std::size_t>(kRecordsPerWriter)) {
            return false;
        }
    }
    return true;
}

void BM_AgentLogRecord(benchmark::State& state) {
    BenchLog& bench = Shared();
    for (auto _ : state) {
        bench.log->Write(4, kSource, kMessage);
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        const LogCensus census = ReadBack(bench.Logs());
        state.counters["records_read_back"] = static_cast<double>(census.records);
        if (!census.complete || census.records == 0) {
            state.SkipWithError("the log files hold an incomplete record");
        }
    }
}
BENCHMARK(BM_AgentLogRecord)->Threads(1)->Threads(4)->UseRealTime();

// Writers wait for each other here, so that process start-up stays out of the measurement.
struct Barrier {
    std::atomic_ref<std::uint32_t> ready;
    std::atomic_ref<std::uint32_t> go;
};

// The barrier is the benchmark's own; it guards the temporary folder its files live in.
std::unique_ptr<SharedMemory> OpenBarrier(const std::wstring& name) {
    const std::optional<ObjectAccess> access = ObjectAccess::ForFolder(TemporaryFolder());
    return access ? SharedMemory::Open(name, 2 * sizeof(std::uint32_t), *access) : nullptr;
}

Barrier BarrierIn(const SharedMemory& section) {
    auto* words = static_cast<std::uint32_t*>(section.Address());
    return {std::atomic_ref<std::uint32_t>(words[0]), std::atomic_ref<std::uint32_t>(words[1])};
}

bool AllReady(const Barrier& barrier, std::vector<std::unique_ptr<SpawnedProcess>>& writers) {
    while (barrier.ready.load() < writers.size()) {
        for (const std::unique_ptr<SpawnedProcess>& writer : writers) {
            DWORD exitCode = 0;
            if (!writer->ExitCode(exitCode) || exitCode != STILL_ACTIVE) {
                return false;
            }
        }
        Sleep(1);
    }
    return true;
}

void BM_AgentLogRecordFourProcesses(benchmark::State& state) {
    BenchLog& bench = Shared();
    const std::wstring barrierName =
        L"zynbench-agentlog-barrier-" + std::to_wstring(GetCurrentProcessId());
    const std::unique_ptr<SharedMemory> section = OpenBarrier(barrierName);
    if (!section) {
        state.SkipWithError("no shared section for the barrier");
        return;
    }
    const Barrier barrier = BarrierIn(*section);
    const std::wstring self = CurrentProcessImagePath();
    std::size_t checked = 0;
    for (auto _ : state) {
        RemoveDirectoryTree(bench.Logs(), false, true);
        barrier.ready.store(0);
        barrier.go.store(0);
        std::vector<std::unique_ptr<SpawnedProcess>> writers;
        for (int w = 0; w < kWriters; ++w) {
            writers.push_back(SpawnedProcess::Start(
                self + L" " + Utf8ToWideLossy(kWriterMode) + L" " + std::to_wstring(w) + L" " +
                    std::to_wstring(kRecordsPerWriter) + L" " + barrierName,
                L""));
            if (!writers.back()) {
                state.SkipWithError("a writer did not start");
                return;
            }
        }
        if (!AllReady(barrier, writers)) {
            state.SkipWithError("a writer ended before it wrote");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        barrier.go.store(1);
        for (const std::unique_ptr<SpawnedProcess>& writer : writers) {
            DWORD exitCode = 0;
            if (WaitOne(*writer, INFINITE) != WAIT_OBJECT_0 || !writer->ExitCode(exitCode) ||
                exitCode != 0) {
                state.SkipWithError("a writer failed");
                return;
            }
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        const LogCensus census = ReadBack(bench.Logs());
        if (!census.complete || !EveryWriterRecordOnce(census)) {
            state.SkipWithError("the log files miss a record or hold an incomplete one");
            return;
        }
        checked += census.records;
    }
    state.SetItemsProcessed(state.iterations() * kWriters * kRecordsPerWriter);
    state.counters["records_read_back"] = static_cast<double>(checked);
}
BENCHMARK(BM_AgentLogRecordFourProcesses)->UseManualTime()->Unit(benchmark::kMillisecond);

// One writer process: prepares its messages, waits at the barrier, writes them.
int RunWriter(int writer, int records, const char* barrierName) {
    const std::unique_ptr<SharedMemory> section = OpenBarrier(Utf8ToWideLossy(barrierName));
    if (!section) {
        return 2;
    }
    std::vector<std::wstring> messages;
    for (int record = 0; record < records; ++record) {
        messages.push_back(std::wstring(kMessage) + L", writer " + std::to_wstring(writer) +
                           L" record " + std::to_wstring(record));
    }
    CAgentLog log;
    const Barrier barrier = BarrierIn(*section);
    barrier.ready.fetch_add(1);
    while (barrier.go.load() == 0) {
        Sleep(1);
    }
    for (const std::wstring& message : messages) {
        log.Write(4, kSource, message.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string_view(argv[1]) == kWriterMode) {
        return RunWriter(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    Shared();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
