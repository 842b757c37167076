#include "apps/ProductSandbox.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "ZynTaskSchedulerLib/AgentLogNames.h"
#include "ZynTaskSchedulerLib/Registry.h"
#include "platform/FileSystem.h"
#include "platform/WideText.h"

namespace {

void PointAgentLogAt(const std::wstring& folder) {
    HKEY key{};
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAgentLogSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot write the sandbox registry");
    }
    const std::vector<BYTE> text = RegStringData(folder);
    RegSetValueExW(key, L"FilePath", 0, REG_SZ, text.data(), static_cast<DWORD>(text.size()));
    RegCloseKey(key);
}

}  // namespace

ProductSandbox::ProductSandbox() {
    PointAgentLogAt(m_folder / L"logs");
}

std::string ProductSandbox::WorkFolder() const {
    return WideToUtf8(m_folder / L"work");
}

std::string ProductSandbox::WriteFile(const std::string& name, const std::string& text) const {
    const std::wstring path = m_folder / Utf8ToWideLossy(name);
    WriteBytes(path, text);
    return WideToUtf8(path);
}

ProgramResult ProductSandbox::Client(const std::vector<std::string>& args) const {
    return Output("client", StartClient(args, "client")->Wait());
}

std::unique_ptr<ChildProcess> ProductSandbox::StartClient(const std::vector<std::string>& args,
                                                          const std::string& name) const {
    return Start(ZYN_CLIENT_PROGRAM, args, name);
}

ProgramResult ProductSandbox::Output(const std::string& name, int status) const {
    const std::string prefix = WideToUtf8(m_folder / Utf8ToWideLossy(name));
    return {status, FileText(prefix + ".out"), FileText(prefix + ".err")};
}

std::unique_ptr<ChildProcess> ProductSandbox::StartDaemon(const std::vector<std::string>& args,
                                                          const std::string& name) const {
    return Start(ZYN_DAEMON_PROGRAM, args, name);
}

std::string ProductSandbox::DaemonErrors(const std::string& name) const {
    return FileText(WideToUtf8(m_folder / Utf8ToWideLossy(name + ".err")));
}

bool ProductSandbox::SaysRunning(const std::string& name) const {
    return DaemonErrors(name).find("running the tasks of") != std::string::npos;
}

bool ProductSandbox::WaitUntilRunning(const std::string& name, int seconds) const {
    return WaitUntil([&] { return SaysRunning(name); }, seconds);
}

std::unique_ptr<ChildProcess> ProductSandbox::Start(const std::string& program,
                                                    const std::vector<std::string>& args,
                                                    const std::string& name) const {
    const std::string prefix = WideToUtf8(m_folder / Utf8ToWideLossy(name));
    std::vector<std::string> words{"--work-folder", WorkFolder()};
    words.insert(words.end(), args.begin(), args.end());
    return std::make_unique<ChildProcess>(
        ChildProcess::Program{program, prefix + ".out", prefix + ".err"}, words);
}

int RaceTrials() {
    constexpr int kDefaultTrials = 5;
    const char* text = std::getenv("ZYN_RACE_TRIALS");
    const int trials = text != nullptr ? std::atoi(text) : 0;
    return trials > 0 ? trials : kDefaultTrials;
}

bool WaitUntil(const std::function<bool()>& condition, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool Exists(const std::string& path) {
    FileStatus status;
    return QueryFileStatus(Utf8ToWideLossy(path), status) == ERROR_SUCCESS;
}

std::string FileText(const std::string& path) {
    std::string bytes;
    ReadRegularFile(Utf8ToWideLossy(path), bytes, 64 << 20);
    return bytes;
}

std::string OnceAt(const std::string& when) {
    return "<Trigger Type=\"0\"><BeginDate>" + when + "</BeginDate></Trigger>";
}

std::string TaskDocument(const std::string& name, const std::string& triggers,
                         const std::string& command) {
    return "<Schedule Name=\"" + name + "\"><Task>" + triggers +
           "</Task><ApplicationName>/bin/sh</ApplicationName><Parameters>-c \"" + command +
           "\"</Parameters></Schedule>\n";
}

std::string LocalTimeFromNow(int seconds) {
    const std::time_t when = std::time(nullptr) + seconds;
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    return text;
}
