// Everything at once for a bounded time: an enabled engine with 5 processors and 50 tasks
// whose triggers repeat every minute, on a clock that jumps from one due minute to the next
// (and says so, as a clock that is set does), while 4 client threads run tasks now, cancel
// them, disable and enable the engine and delete and restore task documents at random. Nothing
// may hang (the test's time limit ends it), no due time may be queued twice for a task, no task
// may run more often than it was queued, and no started program may outlive the engine.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>

#include "execution/ExecutionTestSupport.h"
#include "platform/Path.h"
#include "platform/WallClock.h"
#include "platform/WideText.h"
#include "support/Folders.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"
#include "support/TempRegistry.h"

namespace {

constexpr int kTasks = 50;
constexpr int kClients = 4;
constexpr auto kClientTime = 20s;
// Each due minute is reached this long after the jump to just before it (a whole second: the
// engine reads the time in whole seconds), and the next jump comes this long after the
// previous one.
constexpr auto kLead = 1s;
constexpr auto kStep = 1600ms;

// Runs at the speed of real time from the moment it was last set, so that the scheduler's
// waits end when the due time is reached.
class SteppingClock final : public WallClock {
public:
    explicit SteppingClock(TimePoint now) {
        Set(now);
        WallClock::Install(this);
    }
    ~SteppingClock() override { WallClock::Install(nullptr); }
    TimePoint Now() const override {
        const std::lock_guard lock(m_mutex);
        return m_setTo + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                             std::chrono::steady_clock::now() - m_setAt);
    }
    void Set(TimePoint now) {
        const std::lock_guard lock(m_mutex);
        m_setTo = now;
        m_setAt = std::chrono::steady_clock::now();
    }

private:
    mutable std::mutex m_mutex;
    TimePoint m_setTo;
    std::chrono::steady_clock::time_point m_setAt;
};

constexpr wchar_t kEveryMinute[] =
    L"<Trigger Type=\"1\" Interval=\"1\" Duration=\"1440\"><BeginDate>2030-01-01 "
    L"00:00:00</BeginDate><DaysInterval>1</DaysInterval></Trigger>";

// The text after `key` up to the next of `end` in a log message.
std::wstring Field(const std::wstring& message, const std::wstring& key, const std::wstring& end) {
    const std::size_t start = message.find(key);
    if (start == std::wstring::npos) {
        return {};
    }
    const std::size_t from = start + key.size();
    return message.substr(from, message.find(end, from) - from);
}

class ProcessorStress : public testing::Test {
protected:
    ProcessorStress() {
        for (int i = 0; i < kTasks; ++i) {
            identities.push_back(TaskGuid(i + 1));
            engine.WriteTask(identities.back(), Document(i));
        }
        engine.Configure(L"WorkerThreadPoolSize='5' MaxExecQueueSize='50' LoggingEnabled='1'");
    }

    // Worked out before the engine exists: the C library's conversion of a local time shares
    // the time-zone state that the engine reloads at every step of the clock.
    static std::vector<WallClock::TimePoint> DueMinutes() {
        std::vector<WallClock::TimePoint> minutes;
        for (int minute = 1; minute < 60; ++minute) {
            minutes.push_back(LocalMoment(2030, 1, 1, 10, minute, 0));
        }
        return minutes;
    }

    std::wstring Document(int i) const {
        return CommandTask(L"Stress" + std::to_wstring(i), L"/bin/sh",
                           ShellParameters(L"echo run >> " + RunsFile(i)), std::nullopt,
                           kEveryMinute);
    }
    std::wstring RunsFile(int i) const { return files / (std::to_wstring(i) + L".runs"); }
    ComPtr<IZynTask> Task(int i) {
        ScopedLock lock(engine->MainLock());
        if (!engine->TaskList()) {
            return {};
        }
        const CountedPtr<CZynTaskListElement> element = engine->TaskList()->GetTask(identities[i]);
        return element ? element->Task : ComPtr<IZynTask>();
    }

    void Client(unsigned seed) {
        std::mt19937 random(seed);
        while (!stop) {
            const int i = static_cast<int>(random() % kTasks);
            // Per mille. Documents are deleted and restored rarely: every change of the folder
            // makes the scheduler thread compute again, and a computation in the second after
            // a due time, before the wait for it has ended, passes that due time by.
            const unsigned action = random() % 1000;
            if (action < 300) {
                if (const ComPtr<IZynTask> task = Task(i)) {
                    ++runNow[i];
                    task->ExecuteTask();
                }
            } else if (action < 600) {
                if (const ComPtr<IZynTask> task = Task(i)) {
                    task->CancelTask();
                }
            } else if (action < 620) {
                engine->Disable();
                std::this_thread::sleep_for(std::chrono::milliseconds(random() % 50));
                engine->Enable();
            } else if (action < 624) {
                if (const ComPtr<IZynTask> task = Task(i)) {
                    task->DeleteTask();
                }
            } else if (action < 700 &&
                       !FileExists(JoinPath(engine.WorkFolder(), identities[i] + L".xml"))) {
                engine.WriteTask(identities[i], Document(i));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 40));
        }
    }

    // Moves the clock to just before each next due minute and tells the engine, as a clock
    // that is set does.
    void StepTheClock() {
        for (std::size_t step = 0; step < minutes.size() && !stop; ++step) {
            clock.Set(minutes[step] - kLead);
            WriteBytes(engine.ZoneFile(), "zone " + std::to_string(step));
            std::this_thread::sleep_for(kStep);
        }
    }

    TempRegistry registry;
    TempFolder files;
    SteppingClock clock{LocalMoment(2030, 1, 1, 9, 59, 0)};
    const std::vector<WallClock::TimePoint> minutes = DueMinutes();
    LogCapture log;
    TasksAndProcessors factory;
    TestEngine engine{&factory};
    std::vector<std::wstring> identities;
    std::atomic<bool> stop{false};
    std::atomic<int> runNow[kTasks]{};
};

TEST_F(ProcessorStress, NothingHangsNothingRunsTwiceNothingIsLeftBehind) {
    ASSERT_TRUE(engine->Enable());
    std::vector<std::thread> threads;
    threads.emplace_back([this] { StepTheClock(); });
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([this, c] { Client(static_cast<unsigned>(c) + 1); });
    }
    std::this_thread::sleep_for(kClientTime);
    stop = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    engine->Enable();
    engine->Shutdown();
    EXPECT_TRUE(ChildProcessIds().empty());

    std::map<std::wstring, int> queued;  // by identity and due time
    std::map<std::wstring, int> queuedByTask;
    std::map<std::wstring, int> executedByTask;
    for (const LogRecord& record : log.Records()) {
        const std::wstring task = Field(record.message, L"Queueing task ", L" ");
        if (!task.empty()) {
            ++queued[task + L" " + Field(record.message, L" Next Run ", L" Now ")];
            ++queuedByTask[task];
        }
        const std::wstring executed = Field(record.message, L"Executing due task ", L" ");
        if (!executed.empty()) {
            ++executedByTask[executed];
        }
    }
    for (const auto& [dueTime, count] : queued) {
        EXPECT_EQ(count, 1) << "queued more than once: " << WideToUtf8(dueTime);
    }
    int runs = 0;
    for (int i = 0; i < kTasks; ++i) {
        const int allowed = queuedByTask[identities[i]] + runNow[i];
        EXPECT_LE(executedByTask[identities[i]], allowed) << WideToUtf8(identities[i]);
        const auto started = static_cast<int>(LinesIn(RunsFile(i)));
        EXPECT_LE(started, allowed) << WideToUtf8(identities[i]);
        runs += started;
    }
    // The run was not idle: the schedule came due for every task and programs ran.
    EXPECT_GE(queued.size(), static_cast<std::size_t>(kTasks));
    EXPECT_GT(runs, kTasks);
    std::printf("%zu due times queued, %d programs run\n", queued.size(), runs);
}

}  // namespace
