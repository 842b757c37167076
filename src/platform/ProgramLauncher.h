// The thread that starts the programs of the process (SpawnedProcess). A started program takes
// its scheduling from the thread that starts it: nice value, policy and priority. Worker
// threads run below the process's priority, and a thread whose nice value went up cannot bring
// it down again without privilege, nor give a program it starts a lower one; so every program
// is started from this thread, which keeps the process's own scheduling. It is made before any
// thread's priority is lowered (Thread::SetPriority asks for it first), by a thread that still
// has the process's scheduling, and before each start it takes the process's nice value and
// policy (its main thread's) again, where they changed and the system lets it. It blocks every
// signal, so that none meant for the process is taken by it.
//
// One per process, made by the first call of Instance and ended at exit; any thread may call
// Run, and starts are made one at a time. Nothing here fails: the thread keeps its scheduling
// when the system refuses another.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class ProgramLauncher {
public:
    static ProgramLauncher& Instance();
    ~ProgramLauncher();
    ProgramLauncher(const ProgramLauncher&) = delete;
    ProgramLauncher& operator=(const ProgramLauncher&) = delete;

    // Runs `start` on the launcher's thread and answers its result.
    int Run(const std::function<int()>& start);

private:
    ProgramLauncher();
    void Serve();

    std::mutex m_callers;  // one start at a time
    std::mutex m_mutex;    // guards what follows
    std::condition_variable m_changed;
    const std::function<int()>* m_start = nullptr;
    int m_result = 0;
    bool m_done = false;
    bool m_stopping = false;
    std::thread m_thread;
};
