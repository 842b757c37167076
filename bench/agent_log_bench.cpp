// Records per second written into the agent log file, from one and from four threads, with the
// file in a temporary folder and the default limits (so rotation happens along the way).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/AgentLogNames.h"
#include "ZynTaskSchedulerLib/Registry.h"
#include "support/AgentLog.h"

namespace {

struct BenchLog {
    BenchLog() {
        char folderTemplate[] = "/tmp/zynbench.XXXXXX";
        folder = mkdtemp(folderTemplate);
        registry = folder + "/registry";
        setenv("ZYN_REGISTRY", registry.c_str(), 1);
        HKEY key{};
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAgentLogSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        const std::wstring logs(folder.begin(), folder.end());
        const std::vector<BYTE> data = RegStringData(logs + L"/logs");
        RegSetValueExW(key, L"FilePath", 0, REG_SZ, data.data(), static_cast<DWORD>(data.size()));
        RegCloseKey(key);
        log = std::make_unique<CAgentLog>();
    }
    ~BenchLog() {
        log.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string folder;
    std::string registry;
    std::unique_ptr<CAgentLog> log;
};

BenchLog& Shared() {
    static BenchLog bench;
    return bench;
}

void BM_AgentLogRecord(benchmark::State& state) {
    CAgentLog& log = *Shared().log;
    for (auto _ : state) {
        log.Write(4, L"CZynTaskSchedulerThread Thread",
                  L"Queueing task {6B29FC40-CA47-1067-B31D-00DD010662DA} for execution");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AgentLogRecord)->Threads(1)->Threads(4)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
