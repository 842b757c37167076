// A program started from a command line, waited on through Wait.h: signalled once the program
// has ended, and from then on for good. The started program gets a process group of its own
// (so that ending it ends whatever it started), /dev/null as standard input, the caller's
// standard output and error (or one pipe the caller gives for both), the caller's
// environment, no other descriptor of ours, an empty
// signal mask and every signal at its default disposition. On Windows the group is a job object
// holding the program and whatever it starts, the standard input is the null device, and the
// command line goes to the program as it is, for the program to split.
//
// Thread safety: waits, ExitCode and Terminate may come from different threads at once (one
// thread waits for the program while another cancels it); while a Terminate collects the
// killed program, the others wait for it to finish. The object must outlive every wait on it.
// Ownership: the owner holds the program's process-table entry until the object goes; the process
// that uses this class must not reap children it did not start itself (no waitpid(-1), SIGCHLD not
// ignored), or the exit code is lost.
//
// The owner is expected to wait for the program or terminate it before releasing the object;
// a program that still runs when the object is destroyed is terminated with its group, so no
// zombie outlives its owner.
#pragma once

#include <memory>
#include <mutex>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/WaitableObject.h"
#ifdef _WIN32
#include "platform/KernelHandle.h"  // and with it the system's STILL_ACTIVE
#else
#include <sys/types.h>

#include "platform/FileDescriptor.h"

// The exit code of a program that has not ended yet.
inline constexpr DWORD STILL_ACTIVE = 259;
#endif

class OutputPipe;

class SpawnedProcess final : public WaitableObject {
public:
    // Splits `commandLine` by the quoting rules of CommandLine.h into the program and its
    // arguments and starts the program, looked up on PATH when its name holds no slash; a
    // relative name with a slash is taken from the working directory. `workingDirectory`,
    // when not empty, becomes the program's current folder; empty keeps the caller's.
    // Null, with the last-error value set, when nothing was started:
    // ERROR_INVALID_PARAMETER for a command line that does not split (an unterminated quote)
    // or has no words, or holds a NUL character; ERROR_FILE_NOT_FOUND for an empty or
    // missing program; ERROR_ACCESS_DENIED for a program that may not be run;
    // ERROR_BAD_EXE_FORMAT for a file the system cannot run; ERROR_DIRECTORY for a working
    // directory that does not exist or is not a folder; otherwise the system's refusal.
    // `output`, when given, takes the program's standard output and error; it must stay open
    // until Start returns.
    static std::unique_ptr<SpawnedProcess> Start(std::wstring_view commandLine,
                                                 std::wstring_view workingDirectory,
                                                 const OutputPipe* output = nullptr);
    ~SpawnedProcess() override;

    DWORD Id() const;

    // STILL_ACTIVE while the program runs (looked at without blocking), its exit status once
    // it has ended, 128 + the signal when a signal ended it, and the code given to Terminate
    // when Terminate ended it. False, with ERROR_INVALID_HANDLE, when the program was reaped
    // behind this object's back and its exit code is gone.
    bool ExitCode(DWORD& exitCode);
    // The signal that ended the program, once it has ended by one that Terminate did not send;
    // 0 otherwise.
    int EndingSignal();

    // Kills the program's whole process group, waits until the program is gone (the system
    // ends a killed program at once, unless it is stuck inside the kernel) and records
    // `exitCode` as its exit code. A program that has already ended keeps its own exit code
    // and nothing is killed. Members of the group that moved to a group of their own are out
    // of reach. False, with the last-error value set, when the system refuses the kill.
    bool Terminate(DWORD exitCode);

#ifdef _WIN32
    void* SignalHandle() const override {
        return m_process.Get();
    }
#else
    int SignalDescriptor() const override {
        return m_pidDescriptor.Get();
    }
#endif
    // True once the program has ended; its exit status is collected here.
    bool ClaimSignal() override;

private:
#ifdef _WIN32
    SpawnedProcess(KernelHandle process, KernelHandle job, DWORD id)
        : m_process(std::move(process)), m_job(std::move(job)), m_id(id) {}

    const KernelHandle m_process;  // signalled once the program has ended
    const KernelHandle m_job;      // the program and whatever it started
    const DWORD m_id;
    std::mutex m_mutex;  // one Terminate at a time
#else
    SpawnedProcess(pid_t pid, FileDescriptor pidDescriptor)
        : m_pid(pid), m_pidDescriptor(std::move(pidDescriptor)) {}

    // Collects the exit status when the program has ended, or waits for it with `block`.
    // Caller holds m_mutex.
    void Reap(bool block);

    const pid_t m_pid;
    const FileDescriptor m_pidDescriptor;  // readable once the program has ended
    std::mutex m_mutex;                    // guards everything below
    bool m_ended = false;
    bool m_exitCodeLost = false;
    bool m_terminated = false;
    DWORD m_terminationCode = 0;
    DWORD m_exitCode = STILL_ACTIVE;
    int m_endingSignal = 0;
#endif
};
