// An engine on a temporary work folder, with real task objects, no processors unless the test
// gives a factory that makes them, a clock the test sets, and a zone file of its own; and task
// documents for it.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "engine/ZynTaskSchedulerThread.h"
#include "platform/WallClock.h"
#include "support/TempFolder.h"
#include "tasks/RunRecord.h"

// A wall clock that stands still until the test moves it: Set lets time pass (or go back) to a
// moment, SetByHand sets the clock while no time passes.
class TestClock final : public WallClock {
public:
    explicit TestClock(TimePoint now) : m_now(now), m_elapsed(now.time_since_epoch()) {
        WallClock::Install(this);
    }
    ~TestClock() override { WallClock::Install(nullptr); }
    TimePoint Now() const override { return m_now.load(); }
    std::chrono::nanoseconds Elapsed() const override { return m_elapsed.load(); }
    void Set(TimePoint now) {
        m_elapsed = m_elapsed.load() + (now - m_now.load());
        m_now = now;
    }
    void SetByHand(TimePoint now) { m_now = now; }

private:
    std::atomic<TimePoint> m_now;
    std::atomic<std::chrono::nanoseconds> m_elapsed;
};

// The moment of a local date and time (one the clock shows once). The zone is read through the
// platform (LocalTimeZone), under the lock that an engine's clock thread takes to read it again
// when the system clock is set: the C library's own lock is one the thread sanitizer cannot see.
WallClock::TimePoint LocalMoment(int year, int month, int day, int hour, int minute, int second);

// Polls `condition` until it holds; false when it still does not after `bound`, which only a
// hang reaches (a guard, not a measure of speed).
template <class Condition>
bool HoldsWithin(std::chrono::seconds bound, Condition condition) {
    const auto giveUp = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class TaskObjectsOnly final : public IZynEngineObjectFactory {
public:
    ComPtr<IZynTask> CreateTask(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag) override;
    ComPtr<IZynTaskProcessor> CreateProcessor(CountedPtr<CZynTaskSchedulerThread>, LONG) override {
        return {};
    }
};

class TestEngine {
public:
    // `factory` makes the engine's task objects and processors; by default task objects only.
    // `openWatch` opens the watch on the work folder.
    explicit TestEngine(IZynEngineObjectFactory* factory = nullptr,
                        WorkFolderWatch::Opener openWatch = &FolderWatch::Open);
    ~TestEngine();

    CZynTaskSchedulerThread& operator*() { return *m_engine; }
    CZynTaskSchedulerThread* operator->() { return m_engine.Get(); }
    const std::wstring& WorkFolder() const { return m_folder.Path(); }
    std::wstring ZoneFile() const { return m_zone / L"localtime"; }
    // Configures the engine on its work folder (holding the lock unless another holds it).
    void Configure(const std::wstring& extraAttributes = L"");
    // Writes a task document into the work folder as a client outside the engine would, readable
    // by all and writable by its owner only.
    std::wstring WriteTask(const std::wstring& identity, const std::wstring& document) const;
    // The same with the file's bytes as they are (documents that are not text at all).
    std::wstring WriteTaskBytes(const std::wstring& identity, const std::string& bytes) const;

private:
    TempFolder m_folder;
    TempFolder m_zone;
    TaskObjectsOnly m_factory;
    CountedPtr<CZynTaskSchedulerThread> m_engine;
};

// How many tasks the engine's list holds.
ULONG ListCount(CZynTaskSchedulerThread& engine);
// The run records of the task, newest first, once the engine's run keeper has written what it
// was given.
std::vector<RunRecord> RunRecordsOf(CZynTaskSchedulerThread& engine, const std::wstring& identity);

// A document with `triggers` (the Trigger elements) named `name`, running /bin/true, with
// `policies` (a RunPolicy element) when given.
std::wstring TaskDocument(const std::wstring& name, const std::wstring& triggers,
                          const std::wstring& policies = L"");
// A document with one once-trigger at `begin` ("YYYY-MM-DD HH:MM:SS") named `name`.
std::wstring OnceTask(const std::wstring& name, const std::wstring& begin,
                      const std::wstring& triggerAttributes = L"");
