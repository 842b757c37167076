// What the processor's scenario tests share: an engine factory that makes real task objects and
// real processors (and keeps the last one for the test to question), the
// registration of the test handlers, task documents that name a handler or a command, and the
// child processes the test process still has.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/EngineTestSupport.h"
#include "engine/ZynEngineObjectFactory.h"
#include "support/Eventually.h"
#include "support/TempFolder.h"

using namespace std::chrono_literals;

class TasksAndProcessors final : public IZynEngineObjectFactory {
public:
    ComPtr<IZynTask> CreateTask(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag) override;
    ComPtr<IZynTaskProcessor> CreateProcessor(CountedPtr<CZynTaskSchedulerThread> engine,
                                              LONG processorId) override;
    ComPtr<IZynTaskProcessor> LastProcessor();

private:
    std::mutex m_mutex;
    ComPtr<IZynTaskProcessor> m_last;
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

// The task object for `identity` once the engine's list, read again from the folder, holds it;
// none if it never does.
ComPtr<IZynTask> ListedTask(TestEngine& engine, const std::wstring& identity);

// The lines of a text file; 0 without the file.
std::size_t LinesIn(const std::wstring& path);

// The processes whose parent is this test process, running or not yet reaped.
std::vector<int> ChildProcessIds();
