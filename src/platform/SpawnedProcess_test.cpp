#include "platform/SpawnedProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/FileDescriptor.h"
#include "platform/LastError.h"
#include "platform/Thread.h"
#include "platform/Wait.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/TempFolder.h"

namespace {

constexpr DWORD kTerminated = 20;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The facts a started program meets, one "name=value" line each, in the file named by the
// first argument; the other arguments follow as "arg=" lines. Everything is gathered before
// the report is opened, so the report's own descriptor is not among the listed ones.
ZYN_CHILD_ROLE(ReportSurroundings) {
    std::string report;
    char folder[PATH_MAX] = {};
    report += std::string("cwd=") + (::getcwd(folder, sizeof folder) ? folder : "?") + "\n";
    for (std::size_t i = 1; i < args.size(); ++i) {
        report += "arg=" + args[i] + "\n";
    }
    char input[PATH_MAX] = {};
    if (::readlink("/proc/self/fd/0", input, sizeof input - 1) > 0) {
        report += std::string("stdin=") + input + "\n";
    }
    if (DIR* listing = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(listing)) {
            if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != ::dirfd(listing)) {
                report += std::string("fd=") + entry->d_name + "\n";
            }
        }
        ::closedir(listing);
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0) {
            report += line + "\n";
        }
    }
    report += "nice=" + std::to_string(::getpriority(PRIO_PROCESS, 0)) + "\n";
    report += "policy=" + std::to_string(::sched_getscheduler(0)) + "\n";
    std::ofstream(args.at(0)) << report;
    return 0;
}

std::wstring TestProgram() {
    char path[PATH_MAX] = {};
    EXPECT_GT(::readlink("/proc/self/exe", path, sizeof path - 1), 0);
    return Utf8ToWideLossy(path);
}

// Single quotes keep any text as it is; a single quote inside is closed, escaped, reopened.
std::wstring Quoted(const std::wstring& text) {
    std::wstring quoted = L"'";
    for (const wchar_t c : text) {
        quoted += c == L'\'' ? std::wstring(L"'\\''") : std::wstring(1, c);
    }
    return quoted + L"'";
}

std::unique_ptr<SpawnedProcess> StartOrFail(const std::wstring& commandLine,
                                            const std::wstring& workingDirectory = L"") {
    auto process = SpawnedProcess::Start(commandLine, workingDirectory);
    EXPECT_NE(process, nullptr) << "error " << GetLastError();
    return process;
}

DWORD ExitCodeOf(SpawnedProcess& process) {
    DWORD exitCode = 0;
    EXPECT_TRUE(process.ExitCode(exitCode)) << "error " << GetLastError();
    return exitCode;
}

DWORD WaitForExitCode(SpawnedProcess& process) {
    EXPECT_EQ(WaitOne(process, kHangGuardMs), WAIT_OBJECT_0);
    return ExitCodeOf(process);
}

// Whether `pid` (0: any child at all) is a child of ours that nobody has reaped; with `ended`,
// one that has ended too.
bool Unreaped(DWORD pid, bool ended = false) {
    siginfo_t info{};
    return ::waitid(pid == 0 ? P_ALL : P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           (!ended || info.si_pid != 0);
}

// Gone, or ended and only waiting for its new parent to collect it.
bool HasStopped(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return true;
    }
    const auto state = line.find(") ");
    return state != std::string::npos && line.compare(state + 2, 1, "Z") == 0;
}

TEST(SpawnedProcessTest, ReportsTheProgramsExitCode) {
    TempFolder folder;
    WriteBytes(folder / L"run.sh", "#!/bin/sh\nexit 3\n");
    ASSERT_EQ(::chmod(WideToUtf8(folder / L"run.sh").c_str(), 0755), 0);
    struct Row {
        const wchar_t* commandLine;
        DWORD exitCode;
        int signal;
    };
    const Row rows[] = {
        {L"/bin/sh -c 'exit 0'", 0, 0},
        {L"/bin/sh -c 'exit 7'", 7, 0},
        {L"sh -c 'exit 255'", 255, 0},                  // found on PATH
        {L"./run.sh", 3, 0},                            // in the working directory
        {L"/bin/sh -c 'kill -TERM $$'", 128 + 15, 15},  // ended by a signal
        {L"/bin/sh -c 'kill -KILL $$'", 128 + 9, 9},    // killed, but not terminated by us
        {L"/bin/sh -c 'exit 137'", 137, 0},             // the same code, no signal
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.commandLine));
        auto process = StartOrFail(row.commandLine, folder.Path());
        ASSERT_NE(process, nullptr);
        EXPECT_EQ(WaitForExitCode(*process), row.exitCode);
        EXPECT_EQ(process->EndingSignal(), row.signal);
        EXPECT_EQ(WaitOne(*process, 0), WAIT_OBJECT_0);  // stays signalled
        EXPECT_FALSE(Unreaped(process->Id()));
    }
}

TEST(SpawnedProcessTest, AProgramThatEndedKeepsItsExitCode) {
    auto process = StartOrFail(L"/bin/sh -c 'exit 3'");
    ASSERT_NE(process, nullptr);
    // Ended but not collected yet: the end is discovered by Terminate itself.
    ASSERT_TRUE(Eventually([&] { return Unreaped(process->Id(), true); }));
    ASSERT_TRUE(process->Terminate(kTerminated));
    EXPECT_EQ(ExitCodeOf(*process), 3u);

    // Reaped behind our back: the wait ends, without an exit code.
    process = StartOrFail(L"/bin/sh -c 'exit 4'");
    ASSERT_NE(process, nullptr);
    const auto pid = static_cast<pid_t>(process->Id());
    ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
    EXPECT_EQ(WaitOne(*process, kHangGuardMs), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(process->ExitCode(exitCode));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(process->Terminate(kTerminated));
}

TEST(SpawnedProcessTest, FailedStartsReportTheErrorAndLeaveNoChild) {
    TempFolder folder;
    const std::wstring notExecutable = folder / L"plain.txt";
    const std::wstring notAProgram = folder / L"garbage";
    WriteBytes(notExecutable, "exit 0\n");
    WriteBytes(notAProgram, "this is no program\n");
    ASSERT_EQ(::chmod(WideToUtf8(notAProgram).c_str(), 0755), 0);

    struct Row {
        std::wstring commandLine;
        std::wstring workingDirectory;
        DWORD error;
    };
    const Row rows[] = {
        {L"zyn-no-such-program-4711 arg", L"", ERROR_FILE_NOT_FOUND},
        {Quoted(folder / L"missing"), L"", ERROR_FILE_NOT_FOUND},
        {Quoted(notExecutable), L"", ERROR_ACCESS_DENIED},
        {Quoted(notAProgram), L"", ERROR_BAD_EXE_FORMAT},
        {L"\"\" arg", L"", ERROR_FILE_NOT_FOUND},
        {L"  \t ", L"", ERROR_INVALID_PARAMETER},
        {L"/bin/true 'unterminated", L"", ERROR_INVALID_PARAMETER},
        {std::wstring(L"/bin/true a\0b", 13), L"", ERROR_INVALID_PARAMETER},
        {L"/bin/true", folder / L"missing", ERROR_DIRECTORY},
        {L"/bin/true", notExecutable, ERROR_DIRECTORY},
    };
    ASSERT_FALSE(Unreaped(0));
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.commandLine) + " in " + WideToUtf8(row.workingDirectory));
        SetLastError(ERROR_SUCCESS);
        // A failed exec must not come back as a started program that exits with 127.
        EXPECT_EQ(SpawnedProcess::Start(row.commandLine, row.workingDirectory), nullptr);
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_FALSE(Unreaped(0));
    }
}

TEST(SpawnedProcessTest, ProgramRunsInTheWorkingDirectoryWithTheGivenArguments) {
    TempFolder folder;
    const std::wstring report = folder / L"report";
    const std::wstring commandLine =
        Quoted(TestProgram()) + L" --zyn-child=ReportSurroundings " + Quoted(report) +
        L" \"two  words\" 'single '\\''quoted' \"dq \\\"inner\\\" \\\\ back\" plain\\ escaped "
        L"'' gr\u00FC\u00DFe";
    auto process = StartOrFail(commandLine, folder.Path());
    ASSERT_NE(process, nullptr);
    ASSERT_EQ(WaitForExitCode(*process), 0u);

    char canonical[PATH_MAX] = {};
    ASSERT_NE(::realpath(WideToUtf8(folder.Path()).c_str(), canonical), nullptr);
    const auto lines = Lines(ReadBytes(report));
    EXPECT_THAT(lines, testing::Contains(std::string("cwd=") + canonical));
    std::vector<std::string> arguments;
    for (const std::string& line : lines) {
        if (line.rfind("arg=", 0) == 0) {
            arguments.push_back(line.substr(4));
        }
    }
    EXPECT_THAT(arguments, testing::ElementsAre("two  words", "single 'quoted",
                                                "dq \"inner\" \\ back", "plain escaped", "",
                                                "gr\xC3\xBC\xC3\x9F"
                                                "e"));
}

// While it lives: SIGUSR1 blocked on this thread, SIGUSR2 ignored, and a pipe instead of
// our standard input, so that none of it can pass for what a started program gets anyway.
class UnusualSurroundings {
public:
    UnusualSurroundings() {
        sigset_t usr1;
        ::sigemptyset(&usr1);
        ::sigaddset(&usr1, SIGUSR1);
        ::pthread_sigmask(SIG_BLOCK, &usr1, &m_mask);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGUSR2, &ignore, &m_usr2);
        int pipeEnds[2] = {-1, -1};
        EXPECT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
        m_pipeRead.Reset(pipeEnds[0]);
        m_pipeWrite.Reset(pipeEnds[1]);
        ::dup2(m_pipeRead.Get(), STDIN_FILENO);
    }
    ~UnusualSurroundings() {
        if (m_input.IsValid()) {
            ::dup2(m_input.Get(), STDIN_FILENO);
        } else {
            ::close(STDIN_FILENO);  // there was none
        }
        ::sigaction(SIGUSR2, &m_usr2, nullptr);
        ::pthread_sigmask(SIG_SETMASK, &m_mask, nullptr);
    }

private:
    sigset_t m_mask;
    struct sigaction m_usr2;
    FileDescriptor m_pipeRead;
    FileDescriptor m_pipeWrite;
    FileDescriptor m_input{::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)};  // ours, put back later
};

// Starts the report from a thread as a worker's is: its priority lowered, its policy its own,
// in unusual surroundings, with a descriptor open that is not close-on-exec.
ZYN_CHILD_ROLE(StartFromALoweredThread) {
    std::unique_ptr<SpawnedProcess> process;
    const auto worker = Thread::Create([&] {
        const sched_param none{};
        ::sched_setscheduler(0, SCHED_BATCH, &none);
        const FileDescriptor ours(::open("/dev/null", O_RDONLY));
        const UnusualSurroundings surroundings;
        process =
            SpawnedProcess::Start(Quoted(TestProgram()) + L" --zyn-child=ReportSurroundings " +
                                      Quoted(Utf8ToWideLossy(args.at(0))),
                                  L"");
    });
    if (!worker || !worker->SetPriority(THREAD_PRIORITY_LOWEST)) {
        return 2;
    }
    worker->Resume();
    worker->Join();
    DWORD exitCode = 0;
    return process && WaitOne(*process, kHangGuardMs) == WAIT_OBJECT_0 &&
                   process->ExitCode(exitCode) && exitCode == 0
               ? 0
               : 1;
}

// The starting thread's priority, policy and blocked signals are its own, not the process's:
// the program gets the process's (here without privilege, which could undo a lowered priority).
TEST(SpawnedProcessTest, ProgramGetsTheProcessSchedulingCleanSignalsAndOnlyTheStandardStreams) {
    TempFolder folder;
    ::chmod(WideToUtf8(folder.Path()).c_str(), 0777);  // the unprivileged program reports here
    const std::wstring report = folder / L"report";
    ChildProcess starter("StartFromALoweredThread", {WideToUtf8(report)}, true);
    ASSERT_EQ(starter.Wait(), 0);

    const auto lines = Lines(ReadBytes(report));
    EXPECT_THAT(lines, testing::Contains("stdin=/dev/null"));
    std::vector<std::string> descriptors;
    for (const std::string& line : lines) {
        if (line.rfind("fd=", 0) == 0) {
            descriptors.push_back(line.substr(3));
        }
    }
    EXPECT_THAT(descriptors, testing::UnorderedElementsAre("0", "1", "2"));
    EXPECT_THAT(lines, testing::Contains("SigBlk:\t0000000000000000"));
    EXPECT_THAT(lines, testing::Contains("SigIgn:\t0000000000000000"));
    // The starter's process took ours, from a thread of ours that kept them.
    EXPECT_THAT(lines, testing::Contains("nice=" + std::to_string(::getpriority(PRIO_PROCESS, 0))));
    EXPECT_THAT(lines, testing::Contains("policy=" + std::to_string(::sched_getscheduler(0))));
}

// A shell, leader of its group, that starts `sleep 100` in the background, notes its id in a
// file and sleeps itself: terminated, or released while it runs, the whole group ends and no
// zombie stays.
TEST(SpawnedProcessTest, TerminateAndReleaseEndTheWholeGroup) {
    for (const bool release : {false, true}) {
        SCOPED_TRACE(release ? "released" : "terminated");
        TempFolder folder;
        const std::wstring note = folder / L"grandchild";
        auto process = StartOrFail(
            L"/bin/sh -c " + Quoted(L"sleep 100 & echo $! > " + Quoted(note + L".tmp") + L"; mv " +
                                    Quoted(note + L".tmp") + L" " + Quoted(note) + L"; sleep 100"));
        ASSERT_NE(process, nullptr);
        ASSERT_TRUE(Eventually([&] { return ::access(WideToUtf8(note).c_str(), F_OK) == 0; }));
        pid_t grandchild = 0;
        std::ifstream(WideToUtf8(note)) >> grandchild;
        ASSERT_GT(grandchild, 0);
        EXPECT_FALSE(HasStopped(grandchild));
        const DWORD pid = process->Id();
        EXPECT_EQ(ExitCodeOf(*process), STILL_ACTIVE);
        EXPECT_EQ(WaitOne(*process, 0), WAIT_TIMEOUT);
        if (release) {
            process.reset();
        } else {
            ASSERT_TRUE(process->Terminate(kTerminated));
            EXPECT_EQ(ExitCodeOf(*process), kTerminated);
            EXPECT_EQ(process->EndingSignal(), 0);  // our own kill is no signal of its end
            EXPECT_EQ(WaitOne(*process, 0), WAIT_OBJECT_0);
            ASSERT_TRUE(process->Terminate(kTerminated + 1));  // already ended: nothing changes
            EXPECT_EQ(ExitCodeOf(*process), kTerminated);
        }
        EXPECT_FALSE(Unreaped(pid));
        EXPECT_TRUE(Eventually([&] { return HasStopped(grandchild); }));
    }
}

TEST(SpawnedProcessTest, TerminateWhileAnotherThreadWaits) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        auto process = StartOrFail(L"sleep 100");
        ASSERT_NE(process, nullptr);
        std::atomic<DWORD> waitResult{WAIT_FAILED};
        std::atomic<bool> done{false};
        std::thread waiter([&] { waitResult = WaitOne(*process, kHangGuardMs); });
        std::thread reader([&] {
            while (!done) {
                DWORD exitCode = 0;
                EXPECT_TRUE(process->ExitCode(exitCode));
                EXPECT_TRUE(exitCode == STILL_ACTIVE || exitCode == kTerminated) << exitCode;
            }
        });
        EXPECT_TRUE(process->Terminate(kTerminated));
        waiter.join();
        done = true;
        reader.join();
        EXPECT_EQ(waitResult.load(), WAIT_OBJECT_0);
        EXPECT_EQ(ExitCodeOf(*process), kTerminated);
    }
}

}  // namespace
