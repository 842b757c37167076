// Next-run computation of a task with one trigger of each type, with and without repetition,
// over reference times spread across two years, some before the trigger begins. Besides the
// time per computation it reports the heap allocations per computation (allocs_per_calc),
// which must stay 0, and the share of computations that found a run (runs_found).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "tasks/ZynTaskImpl.h"

namespace {

std::atomic<std::size_t> g_allocations{0};

}  // namespace

// The counting operators below pair malloc with free themselves; once inlined, the compiler
// only sees free applied to what operator new returned.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

namespace {

constexpr std::size_t kReferences = 256;
constexpr DATE kFirstReference = 45'000.0;  // 15 March 2023

std::wstring TaskWith(const std::wstring& type, const std::wstring& repetition,
                      const std::wstring& settings) {
    return L"<Schedule Name=\"Bench\"><Task><Trigger Type=\"" + type + L"\" " + repetition +
           L"><BeginDate>2023-06-05 22:30</BeginDate>" + settings + L"</Trigger></Task></Schedule>";
}

void NextRunTime(benchmark::State& state, const wchar_t* type, bool repeat,
                 const wchar_t* settings) {
    const std::wstring repetition =
        repeat ? L"Interval=\"45\" Duration=\"240\"" : L"Interval=\"0\" Duration=\"0\"";
    CountedPtr<CZynTaskImpl> task = MakeCounted<CZynTaskImpl>(CountedPtr<IZynTaskEngine>(), 0);
    if (FAILED(task->SetXml(TaskWith(type, repetition, settings)))) {
        state.SkipWithError("the task document was refused");
        return;
    }
    std::vector<DATE> references;
    for (std::size_t i = 0; i < kReferences; ++i) {
        references.push_back(kFirstReference + static_cast<double>(i) * 2.8437 + 0.0137 * i);
    }
    std::size_t runs = 0;
    std::size_t next = 0;
    const std::size_t allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        const DATE run = task->CalculateTriggersNextRunTime(references[next++ % kReferences]);
        runs += run > 0 ? 1 : 0;
        benchmark::DoNotOptimize(run);
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["allocs_per_calc"] =
        static_cast<double>(g_allocations.load() - allocationsBefore) / iterations;
    state.counters["runs_found"] = static_cast<double>(runs) / iterations;
}

void Register(const char* name, const wchar_t* type, const wchar_t* settings) {
    benchmark::RegisterBenchmark((std::string(name) + "/once_a_day").c_str(), NextRunTime, type,
                                 false, settings);
    benchmark::RegisterBenchmark((std::string(name) + "/repeating").c_str(), NextRunTime, type,
                                 true, settings);
}

const int kRegistered = [] {
    Register("Once", L"0", L"");
    Register("Daily", L"1", L"<DaysInterval>3</DaysInterval>");
    Register("Weekly", L"2", L"<WeeksInterval>2</WeeksInterval><DaysOfWeek>42</DaysOfWeek>");
    Register("MonthlyByDay", L"3",
             L"<DaysOfMonth>1073758209</DaysOfMonth><MonthsOfYear>4095</MonthsOfYear>");
    Register("MonthlyByWeekday", L"4",
             L"<Week>5</Week><DaysOfWeek>2</DaysOfWeek><MonthsOfYear>4095</MonthsOfYear>");
    return 0;
}();

}  // namespace

BENCHMARK_MAIN();
