// An engine on a temporary work folder, with real task objects, no processors, a clock the
// test sets, and a zone file of its own; and task documents for it.
#pragma once

#include <chrono>
#include <string>

#include "engine/ZynTaskSchedulerThread.h"
#include "platform/WallClock.h"
#include "support/TempFolder.h"

// A wall clock that stands still until the test moves it.
class TestClock final : public WallClock {
public:
    explicit TestClock(TimePoint now) : m_now(now) { WallClock::Install(this); }
    ~TestClock() override { WallClock::Install(nullptr); }
    TimePoint Now() const override { return m_now.load(); }
    void Set(TimePoint now) { m_now = now; }

private:
    std::atomic<TimePoint> m_now;
};

// The moment of a local date and time.
WallClock::TimePoint LocalMoment(int year, int month, int day, int hour, int minute, int second);

class TaskObjectsOnly final : public IZynEngineObjectFactory {
public:
    ComPtr<IZynTask> CreateTask(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag) override;
    ComPtr<IZynTaskProcessor> CreateProcessor(CountedPtr<CZynTaskSchedulerThread>, LONG) override {
        return {};
    }
};

class TestEngine {
public:
    TestEngine();
    ~TestEngine();

    CZynTaskSchedulerThread& operator*() { return *m_engine; }
    CZynTaskSchedulerThread* operator->() { return m_engine.Get(); }
    const std::wstring& WorkFolder() const { return m_folder.Path(); }
    std::wstring ZoneFile() const { return m_zone / L"localtime"; }
    // Configures the engine on its work folder (holding the lock unless another holds it).
    void Configure(const std::wstring& extraAttributes = L"");
    // Writes a task document into the work folder as a client outside the engine would.
    std::wstring WriteTask(const std::wstring& identity, const std::wstring& document) const;

private:
    TempFolder m_folder;
    TempFolder m_zone;
    TaskObjectsOnly m_factory;
    CountedPtr<CZynTaskSchedulerThread> m_engine;
};

// A document with one once-trigger at `begin` ("YYYY-MM-DD HH:MM:SS") named `name`.
std::wstring OnceTask(const std::wstring& name, const std::wstring& begin,
                      const std::wstring& triggerAttributes = L"");
