#include "support/CEThread.h"

#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/LastError.h"
#include "platform/SystemMessage.h"
#include "platform/WorkingSet.h"
#include "support/LogCall.h"
#include "support/MethodGuard.h"

namespace {

// The agent's log readers know a failed thread creation by this location.
constexpr const char* kCreationFailureFile = "CEThread";
constexpr int kCreationFailureLine = 28;

constexpr DWORD kDefaultMinimumWorkingSet = 1024;
constexpr DWORD kNoThread = 0xFFFFFFFF;

constexpr GuardNames kCycleGuard{L"CCEThread", L"Process", GuardStyle::ThreadCycle};

}  // namespace

CCEThread::CCEThread(std::wstring name, int priority, bool createThread) : m_name(std::move(name)) {
    if (!createThread) {
        return;
    }
    m_thread = Thread::Create([this] { ThreadMain(); });
    if (!m_thread) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        CETrace(CE_SEVERITY_WARNING, kCreationFailureFile, kCreationFailureLine, L"FAILED_THROW %x",
                static_cast<unsigned>(hr));
        throw hr;
    }
    m_thread->SetPriority(priority);
}

CCEThread::~CCEThread() {
    // Only a derived constructor that threw gets here with a running thread: the thread was
    // never resumed and must not reach Process, which StopEvent ensures.
    StopEvent.Set();
    KillIfRunning();
}

void CCEThread::Stop() {
    StopEvent.Set();
    KillIfRunning();
    m_thread.reset();
}

DWORD CCEThread::ResumeThread() {
    return m_thread ? m_thread->Resume() : kNoThread;
}

DWORD CCEThread::SuspendThread() {
    return m_thread ? m_thread->Suspend() : kNoThread;
}

void CCEThread::KillIfRunning() {
    if (m_thread && m_thread->IsRunning()) {
        KillEvent.Set();
        // A suspended thread would never end; with StopEvent set it leaves its loop.
        while (m_thread->Resume() > 1) {
        }
        m_thread->Join();
        KillEvent.Reset();
    }
}

void CCEThread::ThreadMain() {
    const int apartment = GetComApartment();
    EnterApartment(apartment);
    WaitForNextCycle();
    while (!StopEvent.Lock(0)) {
        RunCycle();
        WaitForNextCycle();
    }
    if (apartment != 0) {
        CoUninitialize();
    }
}

// The thread goes on whatever the result: a cycle that needs objects reports its own failure.
void CCEThread::EnterApartment(int apartment) {
    if (apartment != kSingleThreadedApartment && apartment != kMultithreadedApartment) {
        return;
    }
    const HRESULT hr =
        CoInitializeEx(nullptr, apartment == kSingleThreadedApartment ? COINIT_APARTMENTTHREADED
                                                                      : COINIT_MULTITHREADED);
    if (FAILED(hr)) {
        CEReportEventFormat(CE_SEVERITY_ERROR, L"ZynUtility",
                            L"COM initialization failed, error: %ls (0x%08X)",
                            HResultText(hr).c_str(), static_cast<unsigned>(hr));
    }
}

void CCEThread::RunCycle() {
    GuardAndLog(kCycleGuard, m_name.c_str(), [this] { return Process(); });
    TrimWorkingSet();
}

void CCEThread::TrimWorkingSet() {
    DWORD minimum = kDefaultMinimumWorkingSet;
    DWORD maximum = 0;
    if (GetWorkingSetLimits(minimum, maximum) && !SetProcessWorkingSetSize(minimum, maximum)) {
        CEReportEventFormat(CE_SEVERITY_ERROR, m_name.c_str(),
                            L"Failed to SetProcessWorkingSetSize(%d, %d) (0x%08X)",
                            static_cast<int>(minimum), static_cast<int>(maximum),
                            static_cast<unsigned>(GetLastError()));
    }
}
