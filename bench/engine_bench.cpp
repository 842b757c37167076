// The engine at scale: work folders of 1,000, 10,000 and 100,000 task files. Measures the first
// load (configuration claims the folder and reads every file), with the resident memory and the
// file descriptors the loaded engine holds; the first refresh after the load; a refresh after one
// file was added, changed or removed, reading the whole folder or only the files the folder watch
// names; and one scheduler cycle (next runs of every task, then the due check) with task logging
// off and on, while the clock moves on by a second (the usual cycle: no task's run passed) or by
// a day (every task's run passed: every next run is computed again).
//
// Records go to a sink that keeps what the agent log keeps by default (errors, warnings and
// information) and drops them, so that filtered trace records cost what they cost in a daemon.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "ZynTaskSchedulerLib/Runtime.h"
#include "automation/ZynTask.h"
#include "engine/ZynTaskSchedulerThread.h"
#include "platform/WallClock.h"
#include "platform/WideText.h"
#include "platform/WorkingSet.h"
#include "support/LogCall.h"
#include "support/LogSink.h"
#include "support/ScopedLock.h"

namespace {

constexpr DWORD kDefaultSeverityMask =
    CE_SEVERITY_ERROR | CE_SEVERITY_WARNING | CE_SEVERITY_INFORMATION;

class DiscardingSink final : public LogSink {
public:
    void Write(DWORD, const wchar_t*, const wchar_t*) override {}
    bool Accepts(DWORD severity) override { return (severity & kDefaultSeverityMask) != 0; }
};

class TaskFactory final : public IZynEngineObjectFactory {
public:
    ComPtr<IZynTask> CreateTask(CountedPtr<CZynTaskSchedulerThread> engine,
                                LONG taskFlag) override {
        return MakeZynTask(std::move(engine), taskFlag);
    }
    ComPtr<IZynTaskProcessor> CreateProcessor(CountedPtr<CZynTaskSchedulerThread>, LONG) override {
        return {};
    }
};

// Noon on a Saturday in summer, moved on only by the benchmark: no task (all run in the
// morning) is ever due, so nothing is queued.
class BenchClock final : public WallClock {
public:
    BenchClock() {
        std::tm noon{};
        noon.tm_year = 2024 - 1900;
        noon.tm_mon = 5;
        noon.tm_mday = 1;
        noon.tm_hour = 12;
        noon.tm_isdst = -1;
        m_now = std::chrono::system_clock::from_time_t(std::mktime(&noon));
        WallClock::Install(this);
    }
    ~BenchClock() override { WallClock::Install(nullptr); }
    TimePoint Now() const override { return m_now; }
    void Advance(std::chrono::seconds by) { m_now += by; }

private:
    TimePoint m_now;
};

std::string TaskDocument(int index, int hour) {
    const int minute = index % 60;
    return "<Schedule Name=\"Task " + std::to_string(index) +
           "\"><Task><Triggers><Trigger Type=\"1\" Interval=\"0\" Duration=\"0\"><BeginDate>"
           "2024-01-01 0" +
           std::to_string(hour) + ":" + (minute < 10 ? "0" : "") + std::to_string(minute) +
           ":00</BeginDate><DaysInterval>1</DaysInterval></Trigger></Triggers>"
           "<ApplicationName>/bin/true</ApplicationName></Task></Schedule>";
}

std::string NewGuidText() {
    GUID guid{};
    CoCreateGuid(&guid);
    wchar_t text[39];
    StringFromGUID2(guid, text, 39);
    return WideToUtf8(text);
}

void WriteTaskFile(const std::string& path, const std::string& document) {
    std::ofstream(path) << document;
    std::filesystem::permissions(path, std::filesystem::perms(0644));
}

// A work folder with `count` task files, made once per size and shared by the benchmarks; each
// benchmark leaves it as it found it.
class Folder {
public:
    explicit Folder(int count) {
        char pattern[] = "/tmp/zynengine.XXXXXX";
        m_path = mkdtemp(pattern);
        for (int i = 0; i < count; ++i) {
            const std::string path = m_path + "/" + NewGuidText() + ".xml";
            const std::string document = TaskDocument(i, 8);
            WriteTaskFile(path, document);
            m_documentBytes += document.size();
            if (i == 0) {
                m_firstFile = path;
            }
        }
        m_spareFile = m_path + "/" + NewGuidText() + ".xml";
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::wstring Configuration(bool logging) const {
        return L"<TaskScheduler WorkFolder='" + Utf8ToWideLossy(m_path) + L"' LoggingEnabled='" +
               (logging ? L"1" : L"0") + L"'/>";
    }
    double DocumentBytes() const { return static_cast<double>(m_documentBytes); }
    // The first task runs at 08:00 or at 09:00, by turns.
    void ChangeFirstFile() {
        m_changed = !m_changed;
        WriteTaskFile(m_firstFile, TaskDocument(0, m_changed ? 9 : 8));
    }
    void AddSpareFile() const { WriteTaskFile(m_spareFile, TaskDocument(-1, 8)); }
    void RemoveSpareFile() const { std::filesystem::remove(m_spareFile); }
    void MoveFirstFileAside() const { std::filesystem::rename(m_firstFile, m_path + "/aside"); }
    void PutFirstFileBack() const { std::filesystem::rename(m_path + "/aside", m_firstFile); }

private:
    std::string m_path;
    std::string m_firstFile;
    std::string m_spareFile;
    std::size_t m_documentBytes = 0;
    bool m_changed = false;
};

Folder& FolderOf(int count) {
    static std::map<int, std::unique_ptr<Folder>> folders;
    std::unique_ptr<Folder>& folder = folders[count];
    if (!folder) {
        folder = std::make_unique<Folder>(count);
    }
    return *folder;
}

struct Scene {
    Scene() : previous(LogSink::Install(&sink)) {}
    ~Scene() { LogSink::Install(previous); }
    DiscardingSink sink;
    TaskFactory factory;
    BenchClock clock;
    LogSink* previous;
};

// An engine that loaded the folder, shut down when the benchmark ends.
class LoadedEngine {
public:
    LoadedEngine(Scene& scene, const Folder& folder, bool logging)
        : m_engine(MakeCounted<CZynTaskSchedulerThread>(&scene.factory)) {
        m_engine->SetConfiguration(folder.Configuration(logging));
    }
    ~LoadedEngine() { m_engine->Shutdown(); }
    CZynTaskSchedulerThread* operator->() { return m_engine.Get(); }
    void Cycle() {
        ScopedLock lock(m_engine->MainLock());
        benchmark::DoNotOptimize(m_engine->CheckTasks());
        m_engine->ExecuteDueTasks();
    }

private:
    CountedPtr<CZynTaskSchedulerThread> m_engine;
};

double ResidentBytes() {
    SetProcessWorkingSetSize(1, 1);  // freed heap pages go back first
    std::ifstream statm("/proc/self/statm");
    double size = 0;
    double resident = 0;
    statm >> size >> resident;
    return resident * 4096.0;
}

double OpenDescriptors() {
    double count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

void BM_FirstLoad(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Folder& folder = FolderOf(count);
    Scene scene;
    const double residentBefore = ResidentBytes();
    const double descriptorsBefore = OpenDescriptors();
    {
        LoadedEngine engine(scene, folder, false);
        const double perTask = (ResidentBytes() - residentBefore) / count;
        state.counters["resident_per_task"] = perTask;
        state.counters["document_per_task"] = folder.DocumentBytes() / count;
        state.counters["beyond_document"] = perTask - folder.DocumentBytes() / count;
        state.counters["descriptors_held"] = OpenDescriptors() - descriptorsBefore;
    }
    for (auto _ : state) {
        auto engine = MakeCounted<CZynTaskSchedulerThread>(&scene.factory);
        engine->SetConfiguration(folder.Configuration(false));
        state.PauseTiming();
        engine->Shutdown();
        engine.Reset();
        state.ResumeTiming();
    }
}

// How the engine reads its folder again: whole (as a client's refresh does), or only the files
// its folder watch names as changed (as the scheduler thread does after a change).
enum class Refresh { WholeFolder, ChangedFiles };

HRESULT RefreshList(LoadedEngine& engine, Refresh refresh) {
    return refresh == Refresh::WholeFolder ? engine->UpdateTaskList()
                                           : engine->UpdateTaskListFromChanges();
}

// `change` alters the folder and `undo` puts it back; only the refresh after `change` counts.
template <class Change, class Undo>
void RefreshAfter(benchmark::State& state, Change change, Undo undo) {
    Folder& folder = FolderOf(static_cast<int>(state.range(0)));
    const auto refresh = static_cast<Refresh>(state.range(1));
    Scene scene;
    LoadedEngine engine(scene, folder, false);
    engine
        ->UpdateTaskList();  // the first refresh after the load sees every file for the first time
    for (auto _ : state) {
        state.PauseTiming();
        change(folder);
        state.ResumeTiming();
        RefreshList(engine, refresh);
        state.PauseTiming();
        undo(folder);
        RefreshList(engine, refresh);
        state.ResumeTiming();
    }
}

void BM_FirstRefreshAfterLoad(benchmark::State& state) {
    Folder& folder = FolderOf(static_cast<int>(state.range(0)));
    Scene scene;
    for (auto _ : state) {
        state.PauseTiming();
        {
            LoadedEngine engine(scene, folder, false);
            state.ResumeTiming();
            engine->UpdateTaskList();
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
}

void BM_RefreshAfterAdd(benchmark::State& state) {
    RefreshAfter(
        state, [](Folder& folder) { folder.AddSpareFile(); },
        [](Folder& folder) { folder.RemoveSpareFile(); });
}

void BM_RefreshAfterChange(benchmark::State& state) {
    RefreshAfter(
        state, [](Folder& folder) { folder.ChangeFirstFile(); }, [](Folder&) {});
}

void BM_RefreshAfterRemove(benchmark::State& state) {
    RefreshAfter(
        state, [](Folder& folder) { folder.MoveFirstFileAside(); },
        [](Folder& folder) { folder.PutFirstFileBack(); });
}

// Arguments: task count, task logging (0 or 1), seconds the clock moves before each cycle.
void BM_SchedulerCycle(benchmark::State& state) {
    Folder& folder = FolderOf(static_cast<int>(state.range(0)));
    Scene scene;
    LoadedEngine engine(scene, folder, state.range(1) != 0);
    engine.Cycle();
    for (auto _ : state) {
        state.PauseTiming();
        scene.clock.Advance(std::chrono::seconds(state.range(2)));
        state.ResumeTiming();
        engine.Cycle();
    }
}

constexpr int kSecond = 1;
constexpr int kDay = 86400;

BENCHMARK(BM_FirstLoad)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_FirstRefreshAfterLoad)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
constexpr int kWholeFolder = static_cast<int>(Refresh::WholeFolder);
constexpr int kChangedFiles = static_cast<int>(Refresh::ChangedFiles);

BENCHMARK(BM_RefreshAfterAdd)
    ->ArgNames({"tasks", "changed_only"})
    ->ArgsProduct({{1000, 10000, 100000}, {kWholeFolder, kChangedFiles}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshAfterChange)
    ->ArgNames({"tasks", "changed_only"})
    ->ArgsProduct({{1000, 10000, 100000}, {kWholeFolder, kChangedFiles}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshAfterRemove)
    ->ArgNames({"tasks", "changed_only"})
    ->ArgsProduct({{1000, 10000, 100000}, {kWholeFolder, kChangedFiles}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SchedulerCycle)
    ->ArgNames({"tasks", "logging", "clock_step"})
    ->ArgsProduct({{1000, 10000, 100000}, {0}, {kSecond, kDay}})
    ->ArgsProduct({{1000, 10000, 100000}, {1}, {kSecond}})
    ->ArgsProduct({{1000, 10000}, {1}, {kDay}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
