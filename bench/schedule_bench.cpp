// Next-run computation of a task, chained the way the scheduler and `zyntask next` use it: each
// reference moment is the previous run's, on the wall-time line of the process's zone. Four
// everyday schedules (daily at 08:05, Monday and Friday at 08:05, days 1 and 15 at 06:00, the last
// Monday of every month at 08:00), each once a day and with a repetition window (every 15 minutes
// for 120 minutes). A chain starts again from its first reference once it passes the horizon, so
// that it never leaves the calendar. Besides the time per computation it reports the heap
// allocations per computation (allocs_per_calc), which must stay 0, and the computations that found
// no run (no_run), which must stay 0 too.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/WallTimeline.h"
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

struct Schedule {
    const char* name;
    const wchar_t* type;
    const wchar_t* begin;
    const wchar_t* settings;
};

constexpr Schedule kSchedules[] = {
    {"Daily_0805", L"1", L"2026-01-01 08:05:00", L""},
    {"MonFri_0805", L"2", L"2026-01-01 08:05:00", L"<DaysOfWeek>34</DaysOfWeek>"},
    {"Days1and15_0600", L"3", L"2026-01-01 06:00:00", L"<DaysOfMonth>16385</DaysOfMonth>"},
    {"LastMonday_0800", L"4", L"2026-01-01 08:00:00",
     L"<Week>5</Week><DaysOfWeek>2</DaysOfWeek><MonthsOfYear>4095</MonthsOfYear>"},
};

RealTime MomentOf(const wchar_t* text, const WallTimeline& timeline) {
    DATE date = 0;
    VarDateFromStr(text, 0, 0, &date);
    WallTime wall = 0;
    WallTimeOfDate(date, wall);
    return timeline.FirstShowing(wall);
}

std::wstring TaskDocument(const Schedule& schedule, bool repeat) {
    const std::wstring repetition =
        repeat ? L"Interval=\"15\" Duration=\"120\"" : L"Interval=\"0\" Duration=\"0\"";
    return std::wstring(L"<Schedule Name=\"Bench\"><Task><Trigger Type=\"") + schedule.type +
           L"\" " + repetition + L"><BeginDate>" + schedule.begin + L"</BeginDate>" +
           schedule.settings + L"</Trigger></Task></Schedule>";
}

void ChainedNextRunTime(benchmark::State& state, const Schedule& schedule, bool repeat) {
    CountedPtr<CZynTaskImpl> task = MakeCounted<CZynTaskImpl>(CountedPtr<IZynTaskEngine>(), 0);
    if (FAILED(task->SetXml(TaskDocument(schedule, repeat)))) {
        state.SkipWithError("the task document was refused");
        return;
    }
    const WallTimeline timeline;
    const RealTime start = MomentOf(L"2026-01-01 00:00:00", timeline);
    const RealTime horizon = MomentOf(L"2226-01-01 00:00:00", timeline);
    RealTime reference = start;
    std::size_t noRun = 0;
    const std::size_t allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        const ScheduledRun run = task->CalculateTriggersNextRunTime(reference, timeline);
        benchmark::DoNotOptimize(run);
        noRun += run.IsRun() ? 0 : 1;
        reference = !run.IsRun() || run.at > horizon ? start : run.at;
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["allocs_per_calc"] =
        static_cast<double>(g_allocations.load() - allocationsBefore) / iterations;
    state.counters["no_run"] = static_cast<double>(noRun);
}

const int kRegistered = [] {
    for (const Schedule& schedule : kSchedules) {
        benchmark::RegisterBenchmark((std::string("NextRun/") + schedule.name).c_str(),
                                     ChainedNextRunTime, schedule, false);
        benchmark::RegisterBenchmark((std::string("NextRun/") + schedule.name + "/window").c_str(),
                                     ChainedNextRunTime, schedule, true);
    }
    return 0;
}();

}  // namespace

BENCHMARK_MAIN();
