#include "engine/ZynTaskWinMsgThread.h"

#include <vector>

#include "ZynTaskSchedulerLib/HResults.h"

#include "platform/Thread.h"
#include "platform/Wait.h"

CZynTaskWinMsgThread::CZynTaskWinMsgThread(std::wstring_view timeZoneFile)
    : CCEThread(kThreadName, THREAD_PRIORITY_LOWEST), m_clockWatch(ClockWatch::Open(timeZoneFile)) {
    ResumeThread();
}

CZynTaskWinMsgThread::~CZynTaskWinMsgThread() {
    Stop();
}

HRESULT CZynTaskWinMsgThread::Process() {
    if (m_done) {
        KillEvent.Lock(INFINITE);  // nothing left to do until the owner stops the thread
        return S_OK;
    }
    RelayClockChanges();
    m_clockWatch.reset();
    m_done = true;
    return S_OK;
}

// Runs until the kill event is set, or the wait fails.
void CZynTaskWinMsgThread::RelayClockChanges() {
    std::vector<WaitableObject*> handles{&KillEvent.Handle()};
    if (m_clockWatch) {
        handles.push_back(m_clockWatch.get());
    }
    while (WaitAny(handles, INFINITE) == WAIT_OBJECT_0 + 1) {
        TimeChangedEvent.Set();
    }
}
