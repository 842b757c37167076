// The daemon across real changes of real zones, spring and autumn, in a zone whose clocks
// change by half an hour (Lord Howe) and one whose clocks change at midnight (Havana). Each
// daemon runs under a faked clock (the faketime preload library) that starts three minutes before
// the change and runs ten times fast, all four at once; the runs it made are the ones its agent
// log says it queued, at the local times it shows. Skipped where the library is missing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "apps/ProductSandbox.h"
#include "platform/FileSystem.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

constexpr char kFakeTime[] = "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1";
constexpr int kSpeed = 10;

struct Task {
    const char* name;
    std::string trigger;
    std::vector<std::string> queuedAt;  // local hours and minutes, in order
};

struct Scenario {
    const char* what;
    const char* zone;
    const char* start;  // UTC, three minutes before the change
    std::vector<Task> tasks;
};

std::string Daily(const std::string& time, const std::string& repetition = "") {
    return R"(<Trigger Type="1")" + repetition + "><BeginDate>2027-01-01 " + time +
           "</BeginDate></Trigger>";
}

// Every minute for three hours from the minute before the change. The daemon starts two faked
// minutes before its first run: a daemon built with the sanitizers, four starting at once on a
// loaded machine, can take seconds to start.
std::string EveryMinuteFrom(const std::string& time) {
    return Daily(time, R"( Interval="1" Duration="180")");
}

// Beside it, a run at a time of day the clock skips, or one the clock shows a second time
// after the change (the first time was before the daemon started).
const Scenario kScenarios[] = {
    {"Lord Howe, 02:00 becomes 02:30",
     "Australia/Lord_Howe",
     "2027-10-02 15:27:00",
     {{"minutely", EveryMinuteFrom("01:59:00"), {"01:59", "02:30", "02:31", "02:32"}},
      {"skipped", Daily("02:15:00"), {"02:30"}}}},
    {"Lord Howe, 02:00 becomes 01:30",
     "Australia/Lord_Howe",
     "2027-04-03 14:57:00",
     {{"minutely", EveryMinuteFrom("01:59:00"), {"01:59", "01:30", "01:31", "01:32"}},
      {"shown twice", Daily("01:31:30"), {}}}},
    {"Havana, 00:00 becomes 01:00",
     "America/Havana",
     "2027-03-14 04:57:00",
     {{"minutely", EveryMinuteFrom("23:59:00"), {"23:59", "01:00", "01:01", "01:02"}},
      {"skipped", Daily("00:30:00"), {"01:00"}}}},
    {"Havana, 01:00 becomes 00:00",
     "America/Havana",
     "2027-11-07 04:57:00",
     {{"minutely", EveryMinuteFrom("00:59:00"), {"00:59", "00:00", "00:01", "00:02"}},
      {"shown twice", Daily("00:01:30"), {}}}},
};

// The faked clock from `start` (UTC) on: an offset from now, which, unlike a local start time,
// cannot fall in a stretch the zone shows twice.
std::string FakeTimeFrom(const char* start) {
    std::tm parts{};
    strptime(start, "%Y-%m-%d %H:%M:%S", &parts);
    return "+" + std::to_string(timegm(&parts) - std::time(nullptr)) + "s x" +
           std::to_string(kSpeed);
}

std::string Identity(std::size_t scenario, std::size_t task) {
    return "{99999999-9999-4999-8999-0000000000" + std::to_string(scenario) + std::to_string(task) +
           "}";
}

class ScenarioRun {
public:
    ScenarioRun(std::size_t index, const Scenario& scenario)
        : m_index(index), m_scenario(scenario) {
        ::mkdir(Path(L"work").c_str(), 0700);
        ::mkdir(Path(L"registry").c_str(), 0700);
        ::mkdir(Path(L"log").c_str(), 0700);
        WriteBytes(m_folder / L"registry/HKEY_LOCAL_MACHINE.reg",
                   "[Software\\Kalvane\\Kalvane Agent\\Event Logging\\logfile]\n\"FilePath\"=\"" +
                       Path(L"log") + "\"\n");
        for (std::size_t task = 0; task < scenario.tasks.size(); ++task) {
            const std::wstring file =
                m_folder / Utf8ToWideLossy("work/" + Identity(index, task) + ".xml");
            WriteBytes(file, TaskDocument(scenario.tasks[task].name, scenario.tasks[task].trigger,
                                          "true"));
            ::chmod(WideToUtf8(file).c_str(), 0644);
        }
    }

    void Start() {
        m_daemon = std::make_unique<ChildProcess>(
            ChildProcess::Program{"/usr/bin/env", Path(L"daemon.out"), Path(L"daemon.err")},
            std::vector<std::string>{
                "TZ=" + std::string(m_scenario.zone), "ZYN_REGISTRY=" + Path(L"registry"),
                "FAKETIME=" + FakeTimeFrom(m_scenario.start),
                std::string("LD_PRELOAD=") + kFakeTime,
                // The sanitizers' own runtime comes first in the daemon; the preload after it.
                "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0", ZYN_DAEMON_PROGRAM,
                "--work-folder", Path(L"work")});
    }

    // The local times (hours and minutes) the daemon queued each task at, by task name. Seconds
    // are left out: on a loaded machine the scheduler may wake a faked second or two late, ten
    // times faster than real time, and no run here is due less than a minute from another.
    std::map<std::string, std::vector<std::string>> Queued() const {
        std::map<std::string, std::vector<std::string>> queued;
        const std::string log = FileText(Path(L"log/Agent.log"));
        for (std::size_t task = 0; task < m_scenario.tasks.size(); ++task) {
            const std::string line =
                "Queueing task " + Identity(m_index, task) + " for execution at ";
            for (std::size_t found = log.find(line); found != std::string::npos;
                 found = log.find(line, found + 1)) {
                queued[m_scenario.tasks[task].name].push_back(log.substr(found + line.size(), 5));
            }
        }
        return queued;
    }

    bool LastRunQueued() const {
        return Queued()[m_scenario.tasks[0].name].size() >= m_scenario.tasks[0].queuedAt.size();
    }

    int Stop() {
        m_daemon->Kill(SIGTERM);
        return m_daemon->Wait();
    }

    std::string Errors() const { return FileText(Path(L"daemon.err")); }

private:
    std::string Path(const std::wstring& name) const { return WideToUtf8(m_folder / name); }

    std::size_t m_index;
    const Scenario& m_scenario;
    TempFolder m_folder;
    std::unique_ptr<ChildProcess> m_daemon;
};

TEST(ClockChange, TheDaemonRunsEachRunOnceThroughSpringAndAutumnChanges) {
    if (::access(kFakeTime, R_OK) != 0) {
        GTEST_SKIP() << "faketime's preload library is not installed (Debian package faketime)";
    }
    std::vector<std::unique_ptr<ScenarioRun>> runs;
    for (std::size_t index = 0; index < std::size(kScenarios); ++index) {
        runs.push_back(std::make_unique<ScenarioRun>(index, kScenarios[index]));
    }
    for (auto& run : runs) {
        run->Start();
    }
    // Five minutes of faked time at most; a guard, not a measure.
    WaitUntil(
        [&] {
            return std::all_of(runs.begin(), runs.end(),
                               [](const auto& run) { return run->LastRunQueued(); });
        },
        5 * 60 / kSpeed + 30);
    ::usleep(1'500'000);  // a few faked seconds more: nothing else may come
    for (std::size_t index = 0; index < runs.size(); ++index) {
        const Scenario& scenario = kScenarios[index];
        SCOPED_TRACE(scenario.what);
        EXPECT_EQ(runs[index]->Stop(), 0) << runs[index]->Errors();
        auto queued = runs[index]->Queued();
        for (const Task& task : scenario.tasks) {
            EXPECT_EQ(queued[task.name], task.queuedAt) << task.name;
        }
    }
}

}  // namespace
