// The clock-change thread: turns every setting of the wall clock and every change of the
// system time zone into a signal on TimeChangedEvent, an automatic-reset event that the
// scheduler thread includes in its wait. Several changes that come while nobody waits are seen
// as one.
//
// The engine makes it and holds the only counted reference; the thread runs from the end of
// the constructor until destruction, which ends it promptly through the kill event. Only the
// thread itself touches the clock watch; TimeChangedEvent is set by the thread and waited on
// by the scheduler thread.
#pragma once

#include <memory>
#include <string_view>

#include "platform/ClockWatch.h"
#include "support/AtlEvent.h"
#include "support/CEThread.h"

class CZynTaskWinMsgThread : public CCEThread {
public:
    static constexpr const wchar_t* kThreadName = L"CZynTaskWinMsgThread Thread";

    // `timeZoneFile` is the file whose change counts as a change of zone (tests give their
    // own). When the clock cannot be watched the thread still runs, and no change is reported.
    explicit CZynTaskWinMsgThread(std::wstring_view timeZoneFile = ClockWatch::kSystemTimeZoneFile);
    ~CZynTaskWinMsgThread() override;

    CAtlEvent& GetTimeChangedEvent() { return TimeChangedEvent; }

protected:
    DWORD WaitForNextCycle() override { return 0; }
    HRESULT Process() override;
    int GetComApartment() override { return 1; }

private:
    void RelayClockChanges();

    // Opened before the thread runs, so that no change after construction is missed; closed
    // by the thread when it is done.
    std::unique_ptr<ClockWatch> m_clockWatch;
    CAtlEvent TimeChangedEvent{FALSE, FALSE};
    bool m_done = false;  // the thread's own: set when the relay has ended
};
