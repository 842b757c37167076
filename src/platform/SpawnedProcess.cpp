#include "platform/SpawnedProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
// This C library's header forgets to declare its functions with C linkage.
extern "C" {
#include <sys/pidfd.h>
}

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/LastError.h"
#include "platform/OutputPipe.h"
#include "platform/ProgramLauncher.h"
#include "platform/WideText.h"

extern char** environ;

namespace {

std::nullopt_t Fail(DWORD error) {
    SetLastError(error);
    return std::nullopt;
}

// The program and its arguments in the system's encoding.
std::optional<std::vector<std::string>> SplitIntoWords(std::wstring_view commandLine) {
    const auto words = SplitCommandLine(commandLine);
    if (!words || words->empty()) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (words->front().empty()) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    std::vector<std::string> encoded;
    for (const std::wstring& word : *words) {
        if (word.find(L'\0') != std::wstring::npos) {
            return Fail(ERROR_INVALID_PARAMETER);  // the system would cut the word short
        }
        encoded.push_back(WideToUtf8(word));
    }
    return encoded;
}

// The working directory is opened here rather than entered by name in the child, so that a
// missing folder fails the start with its own error instead of passing for a missing program,
// and a folder renamed meanwhile is still the one entered. O_PATH needs only search rights,
// as entering the folder does.
bool OpenWorkingDirectory(std::wstring_view directory, FileDescriptor& folder) {
    folder.Reset(::open(WideToUtf8(directory).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsValid()) {
        const int error = errno;
        SetLastError(error == ENOENT || error == ENOTDIR ? ERROR_DIRECTORY
                                                         : Win32ErrorFromErrno(error));
        return false;
    }
    return true;
}

// The attributes and descriptor arrangements of one start, released when it goes. Each
// member answers 0 or the errno value of what the system refused.
class SpawnSettings {
public:
    SpawnSettings() {
        m_failure = ::posix_spawnattr_init(&m_attributes);
        m_attributesReady = m_failure == 0;
        if (m_attributesReady) {
            m_failure = ::posix_spawn_file_actions_init(&m_actions);
            m_actionsReady = m_failure == 0;
        }
    }
    ~SpawnSettings() {
        if (m_actionsReady) {
            ::posix_spawn_file_actions_destroy(&m_actions);
        }
        if (m_attributesReady) {
            ::posix_spawnattr_destroy(&m_attributes);
        }
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    // Starts argv[0] in the folder `folder` (or ours, for -1), writing to `output` (or our
    // standard streams, for -1), and notes its process id.
    int Spawn(int folder, int output, const std::vector<char*>& argv, pid_t& pid) {
        if (m_failure == 0) {
            m_failure = IsolateSignalsAndGroup();
        }
        if (m_failure == 0) {
            m_failure = ArrangeDescriptors(folder, output);
        }
        if (m_failure == 0) {
            // Failures of the child up to and including its exec come back as the result, and
            // the failed child has already been reaped by then.
            m_failure =
                ::posix_spawnp(&pid, argv[0], &m_actions, &m_attributes, argv.data(), environ);
        }
        return m_failure;
    }

private:
    // A group of its own, so that terminating the program reaches what it started; signals
    // as a freshly logged-in program finds them, whatever our threads block or ignore.
    int IsolateSignalsAndGroup() {
        sigset_t none;
        ::sigemptyset(&none);
        // sigfillset leaves out the signals the C library keeps for itself, and the child
        // would then start the program with those ignored; every bit is set instead.
        sigset_t all;
        std::memset(&all, 0xFF, sizeof all);
        const short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        int error = ::posix_spawnattr_setflags(&m_attributes, flags);
        if (error == 0) {
            error = ::posix_spawnattr_setpgroup(&m_attributes, 0);
        }
        if (error == 0) {
            error = ::posix_spawnattr_setsigmask(&m_attributes, &none);
        }
        if (error == 0) {
            error = ::posix_spawnattr_setsigdefault(&m_attributes, &all);
        }
        return error;
    }

    // The folder is entered before the descriptors are closed, since its descriptor is among
    // them; whatever else this process holds open, with or without close-on-exec, stays here.
    int ArrangeDescriptors(int folder, int output) {
        int error = 0;
        if (folder >= 0) {
            error = ::posix_spawn_file_actions_addfchdir_np(&m_actions, folder);
        }
        for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
            if (error == 0 && output >= 0) {
                error = ::posix_spawn_file_actions_adddup2(&m_actions, output, stream);
            }
        }
        if (error == 0) {
            error = ::posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null",
                                                       O_RDONLY, 0);
        }
        if (error == 0) {
            error = ::posix_spawn_file_actions_addclosefrom_np(&m_actions, STDERR_FILENO + 1);
        }
        return error;
    }

    posix_spawnattr_t m_attributes;
    posix_spawn_file_actions_t m_actions;
    bool m_attributesReady = false;
    bool m_actionsReady = false;
    int m_failure = 0;
};

// Ends a program that was started but cannot be handed to an owner.
void Abandon(pid_t pid) {
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

std::unique_ptr<SpawnedProcess> SpawnedProcess::Start(std::wstring_view commandLine,
                                                      std::wstring_view workingDirectory,
                                                      const OutputPipe* output) {
    auto words = SplitIntoWords(commandLine);
    if (!words) {
        return nullptr;
    }
    FileDescriptor folder;
    if (!workingDirectory.empty() && !OpenWorkingDirectory(workingDirectory, folder)) {
        return nullptr;
    }
    std::vector<char*> argv;
    for (std::string& argument : *words) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    // Started from the launcher's thread, which has the process's own scheduling: a program
    // started from the caller's would run at the caller's lowered priority.
    const int outputDescriptor = output != nullptr ? output->WriteDescriptor() : -1;
    pid_t pid = 0;
    const int refusal = ProgramLauncher::Instance().Run(
        [&] { return SpawnSettings().Spawn(folder.Get(), outputDescriptor, argv, pid); });
    if (refusal != 0) {
        SetLastError(Win32ErrorFromErrno(refusal));
        return nullptr;
    }
    // The child stays in the process table until we reap it, so the id still names it here.
    FileDescriptor pidDescriptor(::pidfd_open(pid, 0));
    if (!pidDescriptor.IsValid()) {
        const int error = errno;
        Abandon(pid);
        SetLastError(Win32ErrorFromErrno(error));
        return nullptr;
    }
    return std::unique_ptr<SpawnedProcess>(new SpawnedProcess(pid, std::move(pidDescriptor)));
}

DWORD SpawnedProcess::Id() const {
    return static_cast<DWORD>(m_pid);
}

SpawnedProcess::~SpawnedProcess() {
    Terminate(STILL_ACTIVE);  // nobody reads the code any more
}

bool SpawnedProcess::ExitCode(DWORD& exitCode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Reap(false);
    if (m_exitCodeLost) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    exitCode = m_exitCode;
    return true;
}

int SpawnedProcess::EndingSignal() {
    std::lock_guard<std::mutex> lock(m_mutex);
    Reap(false);
    return m_endingSignal;
}

bool SpawnedProcess::Terminate(DWORD exitCode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Reap(false);
    if (m_ended) {
        return true;
    }
    // The program is not reaped yet, so its group id cannot have passed to anybody else. The
    // group may hold nobody but the program, or nobody at all once the program left it; the
    // program itself is signalled through its descriptor for that reason.
    ::kill(-m_pid, SIGKILL);
    if (::pidfd_send_signal(m_pidDescriptor.Get(), SIGKILL, nullptr, 0) != 0 && errno != ESRCH) {
        SetLastError(Win32ErrorFromErrno(errno));
        return false;
    }
    m_terminated = true;
    m_terminationCode = exitCode;
    Reap(true);
    return true;
}

bool SpawnedProcess::ClaimSignal() {
    std::lock_guard<std::mutex> lock(m_mutex);
    Reap(false);
    return m_ended;
}

void SpawnedProcess::Reap(bool block) {
    if (m_ended) {
        return;
    }
    siginfo_t info{};
    const int options = WEXITED | (block ? 0 : WNOHANG);
    int result = 0;
    while ((result = ::waitid(P_PIDFD, m_pidDescriptor.Get(), &info, options)) < 0 &&
           errno == EINTR) {
    }
    if (result < 0) {
        // Somebody else in this process collected the status: ended, but nobody knows how.
        m_ended = true;
        m_exitCodeLost = true;
        return;
    }
    if (info.si_pid == 0) {
        return;  // still running
    }
    m_ended = true;
    if (info.si_code == CLD_EXITED) {
        m_exitCode = static_cast<DWORD>(info.si_status);
    } else if (m_terminated && info.si_status == SIGKILL) {
        m_exitCode = m_terminationCode;
    } else {
        m_endingSignal = info.si_status;
        m_exitCode = 128 + static_cast<DWORD>(info.si_status);
    }
}
