#include "execution/ExecutionTestSupport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "ZynTaskSchedulerLib/Registry.h"
#include "automation/ServerRegistration.h"
#include "automation/ZynTask.h"
#include "execution/CoZynTaskProcessor.h"
#include "execution/handlers/TestHandlers.h"
#include "platform/WideText.h"
#include "support/ScopedLock.h"

ComPtr<IZynTask> TasksAndProcessors::CreateTask(CountedPtr<CZynTaskSchedulerThread> engine,
                                                LONG taskFlag) {
    return MakeZynTask(std::move(engine), taskFlag);
}

ComPtr<IZynTaskProcessor> TasksAndProcessors::CreateProcessor(
    CountedPtr<CZynTaskSchedulerThread> engine, LONG processorId) {
    ComPtr<IZynTaskProcessor> processor =
        CoZynTaskProcessor::Create(std::move(engine), processorId);
    const std::lock_guard lock(m_mutex);
    m_last = processor;
    return processor;
}

ComPtr<IZynTaskProcessor> TasksAndProcessors::LastProcessor() {
    const std::lock_guard lock(m_mutex);
    return m_last;
}

namespace {

std::wstring Escaped(const std::wstring& text) {
    std::wstring escaped;
    for (const wchar_t c : text) {
        escaped += c == L'&' ? L"&amp;" : c == L'<' ? L"&lt;" : std::wstring(1, c);
    }
    return escaped;
}

std::wstring Element(const wchar_t* name, const std::optional<std::wstring>& text) {
    if (!text) {
        return {};
    }
    return std::wstring(L"<") + name + L">" + Escaped(*text) + L"</" + name + L">";
}

constexpr wchar_t kFarAheadTrigger[] =
    L"<Trigger Type=\"0\" Interval=\"0\" Duration=\"0\"><BeginDate>2099-01-01 "
    L"10:00:00</BeginDate></Trigger>";

}  // namespace

void RegisterTestHandlers() {
    const std::wstring library = Utf8ToWideLossy(ZYN_TEST_HANDLERS_PATH);
    for (const auto& [clsid, progId] : {std::pair{&CLSID_TestEventHandler, kTestEventHandlerProgId},
                                        {&CLSID_TestPlainHandler, kTestPlainHandlerProgId},
                                        {&CLSID_TestUnservedHandler, kTestUnservedHandlerProgId}}) {
        if (CServerRegistration::RegisterClass({clsid, L"", progId, progId}, GUID_NULL, library) !=
            S_OK) {
            throw std::runtime_error("cannot register a test handler");
        }
    }
    // Known by ProgID, served by no library.
    wchar_t unserved[39];
    StringFromGUID2(CLSID_TestUnservedHandler, unserved, 39);
    RegDeleteTreeW(HKEY_CLASSES_ROOT,
                   (std::wstring(L"CLSID\\") + unserved + L"\\InprocServer32").c_str());
}

std::wstring TaskGuid(int number) {
    wchar_t text[64];
    std::swprintf(text, 64, L"{00000000-0000-4000-8000-%012d}", number);
    return text;
}

std::wstring HandlerTask(const std::wstring& name, const std::wstring& handler,
                         const std::wstring& behaviour, const std::wstring& recordFile) {
    const auto optional = [](const std::wstring& text) {
        return text.empty() ? std::nullopt : std::optional<std::wstring>(text);
    };
    return L"<Schedule Name=\"" + name + L"\"><Task><Triggers>" + kFarAheadTrigger +
           L"</Triggers>" + Element(L"HandlerCLSID", optional(handler)) +
           Element(L"TestBehaviour", optional(behaviour)) +
           Element(L"TestRecord", optional(recordFile)) + L"</Task></Schedule>";
}

std::wstring CommandTask(const std::wstring& name, const std::optional<std::wstring>& application,
                         const std::optional<std::wstring>& parameters,
                         const std::optional<std::wstring>& workingDirectory,
                         const std::wstring& triggers) {
    return L"<Schedule Name=\"" + name + L"\"><Task><Triggers>" +
           (triggers.empty() ? kFarAheadTrigger : triggers) + L"</Triggers>" +
           Element(L"ApplicationName", application) + Element(L"Parameters", parameters) +
           Element(L"WorkingDirectory", workingDirectory) + L"</Task></Schedule>";
}

std::wstring ShellParameters(const std::wstring& script) {
    return L"-c '" + script + L"'";
}

ComPtr<IZynTask> ListedTask(TestEngine& engine, const std::wstring& identity) {
    ComPtr<IZynTask> task;
    Eventually([&] {
        engine->UpdateTaskList();
        ScopedLock lock(engine->MainLock());
        const CountedPtr<CZynTaskListElement> element = engine->TaskList()->GetTask(identity);
        task = element ? element->Task : ComPtr<IZynTask>();
        return static_cast<bool>(task);
    });
    return task;
}

std::size_t LinesIn(const std::wstring& path) {
    std::ifstream file(WideToUtf8(path));
    std::size_t lines = 0;
    for (std::string line; std::getline(file, line);) {
        ++lines;
    }
    return lines;
}

std::vector<int> ChildProcessIds() {
    const std::string self = std::filesystem::read_symlink("/proc/self").string();
    std::vector<int> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) {
            continue;  // gone meanwhile
        }
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        std::istringstream fields(line.substr(line.rfind(')') + 1));
        std::string state;
        std::string parent;
        fields >> state >> parent;
        if (parent == self) {
            children.push_back(std::stoi(name));
        }
    }
    return children;
}
