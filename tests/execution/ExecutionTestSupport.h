// What the processor's scenario tests share: an engine factory that makes real task objects and
// real processors (and keeps a reference to each processor for the test to question), the
// registration of the test handlers, task documents that name a handler or a command, a
// watchdog that ends a hung test, and the child processes the test process still has.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/ZynEngineObjectFactory.h"
#include "support/TempFolder.h"

using namespace std::chrono_literals;

// Only a hang makes a wait this long.
inline constexpr auto kHangGuard = 60s;

class TasksAndProcessors final : public IZynEngineObjectFactory {
public:
    ComPtr<IZynTask> CreateTask(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag) override;
    ComPtr<IZynTaskProcessor> CreateProcessor(CountedPtr<CZynTaskSchedulerThread> engine,
                                              LONG processorId) override;
    // The processor made last with that identifier.
    ComPtr<IZynTaskProcessor> Processor(LONG processorId);

private:
    std::mutex m_mutex;
    std::vector<std::pair<LONG, ComPtr<IZynTaskProcessor>>> m_processors;
};

// Registers the test handlers' library and ProgIDs (see handlers/TestHandlers.h) in the
// current registry.
void RegisterTestHandlers();

// A task identity in registry form from a number.
std::wstring TaskGuid(int number);

// A task document whose one once-trigger lies far ahead, naming `handler` (no HandlerCLSID
// element when empty) with the test handler's behaviour and record file.
std::wstring HandlerTask(const std::wstring& name, const std::wstring& handler,
                         const std::wstring& behaviour = L"", const std::wstring& recordFile = L"");
// A task document for the command-line handler, as above; an absent part is left out.
std::wstring CommandTask(const std::wstring& name, const std::optional<std::wstring>& application,
                         const std::optional<std::wstring>& parameters = {},
                         const std::optional<std::wstring>& workingDirectory = {},
                         const std::wstring& triggers = L"");
// A command line for /bin/sh -c with the script quoted for the command-line handler.
std::wstring ShellParameters(const std::wstring& script);
std::wstring Escaped(const std::wstring& text);

template <class Condition>
bool Eventually(Condition condition) {
    const auto giveUp = std::chrono::steady_clock::now() + kHangGuard;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Ends the whole test program with a message when it is not disarmed (destroyed) in time: a
// deadlock would otherwise hang the test run instead of failing it.
class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, std::string what);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_disarmed;
    bool m_done = false;
    std::thread m_thread;
};

// How many run times the task's log document in the work folder holds: 0 without a file, -1
// when the file does not load.
int LoggedRunTimes(const std::wstring& workFolder, const std::wstring& identity);

// The processes whose parent is this test process, running or not yet reaped.
std::vector<int> ChildProcessIds();
