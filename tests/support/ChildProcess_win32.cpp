// Children are started with CreateProcess; their arguments are quoted so that the C runtime's
// splitting of the command line gives each one back whole.
#include <windows.h>

#include <stdexcept>

#include "platform/KernelHandle.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"

struct ChildProcess::Running {
    KernelHandle process;
    int pid = -1;
    bool ended = false;
};

namespace {

// One argument as the C runtime splits command lines: quoted when it holds a blank or a quote,
// a quote escaped by a backslash, and backslashes doubled where they come before a quote.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L'"';
}

std::wstring CommandLineOf(const std::vector<std::string>& words) {
    std::wstring line;
    for (const std::string& word : words) {
        line += (line.empty() ? L"" : L" ") + Quoted(Utf8ToWideLossy(word));
    }
    return line;
}

std::string OwnProgram() {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    return WideToUtf8(std::wstring_view(path, length));
}

KernelHandle InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    KernelHandle file(::CreateFileW(Utf8ToWideLossy(path).c_str(), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    &inherited, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        throw std::runtime_error("cannot open " + path);
    }
    return file;
}

// Starts `words`; with `startup` naming standard handles, the child inherits those.
void Start(const std::vector<std::string>& words, STARTUPINFOW& startup, KernelHandle& process,
           int& pid) {
    std::wstring line = CommandLineOf(words);
    PROCESS_INFORMATION started{};
    const BOOL inherit = (startup.dwFlags & STARTF_USESTDHANDLES) != 0;
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, 0, nullptr, nullptr,
                          &startup, &started)) {
        throw std::runtime_error("cannot start " + words.front());
    }
    ::CloseHandle(started.hThread);
    process.Reset(started.hProcess);
    pid = static_cast<int>(started.dwProcessId);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& role, const std::vector<std::string>& args,
                           bool unprivileged)
    : m_running(std::make_unique<Running>()) {
    std::vector<std::string> words{OwnProgram(), kChildRoleSwitch + role};
    if (unprivileged) {
        words.emplace_back(kChildUnprivilegedSwitch);
    }
    words.insert(words.end(), args.begin(), args.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    Start(words, startup, m_running->process, m_running->pid);
}

ChildProcess::ChildProcess(const Program& program, const std::vector<std::string>& args)
    : m_running(std::make_unique<Running>()) {
    const KernelHandle input = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    const KernelHandle output = InheritableFile(program.outputFile, GENERIC_WRITE, CREATE_ALWAYS);
    const KernelHandle error = InheritableFile(program.errorFile, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.Get();
    startup.hStdOutput = output.Get();
    startup.hStdError = error.Get();
    std::vector<std::string> words{program.path};
    words.insert(words.end(), args.begin(), args.end());
    Start(words, startup, m_running->process, m_running->pid);
}

ChildProcess::~ChildProcess() {
    if (!m_running->ended) {
        Kill();
        Wait();
    }
}

int ChildProcess::Pid() const {
    return m_running->pid;
}

int ChildProcess::Wait() {
    ::WaitForSingleObject(m_running->process.Get(), INFINITE);
    m_running->ended = true;
    DWORD code = 0;
    ::GetExitCodeProcess(m_running->process.Get(), &code);
    return static_cast<int>(code);
}

void ChildProcess::Kill() {
    Kill(kKilledExitStatus - 128);
}

void ChildProcess::Kill(int signal) {
    if (!m_running->ended) {
        ::TerminateProcess(m_running->process.Get(), static_cast<UINT>(128 + signal));
    }
}
