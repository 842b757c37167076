#include "execution/ExecutionTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "ZynTaskSchedulerLib/Registry.h"
#include "automation/ZynTask.h"
#include "execution/CoZynTaskProcessor.h"
#include "execution/handlers/TestHandlers.h"
#include "platform/Path.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"
#include "support/Folders.h"

ComPtr<IZynTask> TasksAndProcessors::CreateTask(CountedPtr<CZynTaskSchedulerThread> engine,
                                                LONG taskFlag) {
    return MakeZynTask(std::move(engine), taskFlag);
}

ComPtr<IZynTaskProcessor> TasksAndProcessors::CreateProcessor(
    CountedPtr<CZynTaskSchedulerThread> engine, LONG processorId) {
    ComPtr<IZynTaskProcessor> processor =
        CoZynTaskProcessor::Create(std::move(engine), processorId);
    const std::lock_guard lock(m_mutex);
    m_processors.emplace_back(processorId, processor);
    return processor;
}

ComPtr<IZynTaskProcessor> TasksAndProcessors::Processor(LONG processorId) {
    const std::lock_guard lock(m_mutex);
    for (auto made = m_processors.rbegin(); made != m_processors.rend(); ++made) {
        if (made->first == processorId) {
            return made->second;
        }
    }
    return {};
}

namespace {

void SetText(const std::wstring& keyPath, const wchar_t* valueName, const std::wstring& text) {
    HKEY key{};
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != 0) {
        throw std::runtime_error("cannot create a registry key");
    }
    const std::vector<BYTE> data = RegStringData(text);
    const LSTATUS status =
        RegSetValueExW(key, valueName, 0, REG_SZ, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    if (status != 0) {
        throw std::runtime_error("cannot set a registry value");
    }
}

void RegisterClass(const CLSID& clsid, const wchar_t* progId, bool served) {
    wchar_t text[39];
    StringFromGUID2(clsid, text, 39);
    const std::wstring classKey = std::wstring(L"CLSID\\") + text;
    SetText(std::wstring(progId) + L"\\CLSID", nullptr, text);
    SetText(classKey + L"\\ProgID", nullptr, progId);
    if (served) {
        SetText(classKey + L"\\InprocServer32", nullptr, Utf8ToWideLossy(ZYN_TEST_HANDLERS_PATH));
        SetText(classKey + L"\\InprocServer32", L"ThreadingModel", L"Free");
    }
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
    RegisterClass(CLSID_TestEventHandler, kTestEventHandlerProgId, true);
    RegisterClass(CLSID_TestPlainHandler, kTestPlainHandlerProgId, true);
    RegisterClass(CLSID_TestUnservedHandler, kTestUnservedHandlerProgId, false);
}

std::wstring TaskGuid(int number) {
    wchar_t text[64];
    std::swprintf(text, 64, L"{00000000-0000-4000-8000-%012d}", number);
    return text;
}

std::wstring Escaped(const std::wstring& text) {
    std::wstring escaped;
    for (const wchar_t c : text) {
        escaped += c == L'&' ? L"&amp;" : c == L'<' ? L"&lt;" : std::wstring(1, c);
    }
    return escaped;
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

Watchdog::Watchdog(std::chrono::seconds limit, std::string what)
    : m_thread([this, limit, what = std::move(what)] {
          std::unique_lock lock(m_mutex);
          if (!m_disarmed.wait_for(lock, limit, [this] { return m_done; })) {
              std::fprintf(stderr, "Watchdog: %s did not finish in %lld s; taken as a hang\n",
                           what.c_str(), static_cast<long long>(limit.count()));
              std::fflush(stderr);
              std::abort();
          }
      }) {}

Watchdog::~Watchdog() {
    {
        const std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_disarmed.notify_all();
    m_thread.join();
}

int LoggedRunTimes(const std::wstring& workFolder, const std::wstring& identity) {
    const std::wstring path = JoinPath(workFolder, L"Logs/" + identity + L".xml");
    if (!FileExists(path)) {
        return 0;
    }
    const std::string bytes = ReadBytes(path);
    XmlDocument document;
    std::wstring reason;
    if (!document.Load(std::wstring(bytes.begin(), bytes.end()), reason)) {
        return -1;
    }
    return static_cast<int>(document.SelectAll(L"//TaskHistory/LastRunTime").size());
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
