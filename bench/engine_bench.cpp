// The engine at scale: a work folder of 1,000 or 10,000 task files. Measures the first load
// (configuration claims the folder and reads every file), a refresh after one file changed,
// and one scheduler cycle (next runs of every task, then the due check) with task logging off.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ZynTaskSchedulerLib/Runtime.h"
#include "automation/ZynTask.h"
#include "engine/ZynTaskSchedulerThread.h"
#include "platform/WideText.h"
#include "support/LogSink.h"
#include "support/ScopedLock.h"

namespace {

class DiscardingSink final : public LogSink {
public:
    void Write(DWORD, const wchar_t*, const wchar_t*) override {}
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

std::string TaskDocument(int index) {
    const int minute = index % 60;
    return "<Schedule Name=\"Task " + std::to_string(index) +
           "\"><Task><Triggers><Trigger Type=\"1\" Interval=\"0\" Duration=\"0\"><BeginDate>"
           "2024-01-01 08:" +
           (minute < 10 ? "0" : "") + std::to_string(minute) +
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

// A work folder with `count` task files, made once per size.
class Folder {
public:
    explicit Folder(int count) {
        char pattern[] = "/tmp/zynengine.XXXXXX";
        m_path = mkdtemp(pattern);
        for (int i = 0; i < count; ++i) {
            const std::string name = NewGuidText();
            std::ofstream(m_path + "/" + name + ".xml") << TaskDocument(i);
            if (i == 0) {
                m_firstFile = m_path + "/" + name + ".xml";
            }
        }
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::wstring Configuration() const {
        return L"<TaskScheduler WorkFolder='" + Utf8ToWideLossy(m_path) + L"'/>";
    }
    void TouchFirstFile() const { std::ofstream(m_firstFile) << TaskDocument(1); }

private:
    std::string m_path;
    std::string m_firstFile;
};

struct Scene {
    explicit Scene(int count) : folder(count), previous(LogSink::Install(&sink)) {}
    ~Scene() { LogSink::Install(previous); }
    DiscardingSink sink;
    TaskFactory factory;
    Folder folder;
    LogSink* previous;
};

void BM_FirstLoad(benchmark::State& state) {
    Scene scene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto engine = MakeCounted<CZynTaskSchedulerThread>(&scene.factory);
        engine->SetConfiguration(scene.folder.Configuration());
        state.PauseTiming();
        engine->Shutdown();
        engine.Reset();
        state.ResumeTiming();
    }
}

void BM_RefreshAfterOneChange(benchmark::State& state) {
    Scene scene(static_cast<int>(state.range(0)));
    auto engine = MakeCounted<CZynTaskSchedulerThread>(&scene.factory);
    engine->SetConfiguration(scene.folder.Configuration());
    for (auto _ : state) {
        state.PauseTiming();
        scene.folder.TouchFirstFile();
        state.ResumeTiming();
        engine->UpdateTaskList();
    }
    engine->Shutdown();
}

void BM_SchedulerCycle(benchmark::State& state) {
    Scene scene(static_cast<int>(state.range(0)));
    auto engine = MakeCounted<CZynTaskSchedulerThread>(&scene.factory);
    engine->SetConfiguration(scene.folder.Configuration());
    for (auto _ : state) {
        ScopedLock lock(engine->MainLock());
        benchmark::DoNotOptimize(engine->CheckTasks());
        engine->ExecuteDueTasks();
    }
    engine->Shutdown();
}

BENCHMARK(BM_FirstLoad)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RefreshAfterOneChange)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SchedulerCycle)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
