#include "platform/TerminationSignals.h"

#include <atomic>

namespace {

// The service manager's controls, numbered apart from the console's events.
constexpr DWORD kServiceControl = 0x10000;

// The live object's event and the control event last received; the handlers run on threads
// the system makes for them.
std::atomic<HANDLE> g_requested{nullptr};
std::atomic<DWORD> g_lastEvent{~0ul};

bool NoteRequest(DWORD event) {
    g_lastEvent.store(event);
    const HANDLE requested = g_requested.load();
    return requested != nullptr && ::SetEvent(requested);
}

// Answers that the event is handled, so that the system leaves ending the process to the host.
BOOL WINAPI NoteControlEvent(DWORD event) {
    return NoteRequest(event);
}

}  // namespace

std::unique_ptr<TerminationSignals> TerminationSignals::Create() {
    KernelHandle requested(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!requested.IsValid()) {
        return nullptr;
    }
    g_requested.store(requested.Get());
    if (!::SetConsoleCtrlHandler(NoteControlEvent, TRUE)) {
        g_requested.store(nullptr);
        return nullptr;
    }
    return std::unique_ptr<TerminationSignals>(new TerminationSignals(std::move(requested)));
}

TerminationSignals::~TerminationSignals() {
    ::SetConsoleCtrlHandler(NoteControlEvent, FALSE);
    g_requested.store(nullptr);
}

// The wait that picked this object took the event's signal.
bool TerminationSignals::ClaimSignal() {
    m_lastEvent = g_lastEvent.load();
    return true;
}

void TerminationSignals::RequestFromServiceManager(unsigned long control) {
    NoteRequest(kServiceControl + control);
}

std::wstring TerminationSignals::LastSignalName() const {
    switch (m_lastEvent) {
        case kServiceControl + SERVICE_CONTROL_STOP:
            return L"SERVICE_CONTROL_STOP";
        case kServiceControl + SERVICE_CONTROL_SHUTDOWN:
            return L"SERVICE_CONTROL_SHUTDOWN";
        case CTRL_C_EVENT:
            return L"CTRL_C_EVENT";
        case CTRL_BREAK_EVENT:
            return L"CTRL_BREAK_EVENT";
        case CTRL_CLOSE_EVENT:
            return L"CTRL_CLOSE_EVENT";
        case CTRL_LOGOFF_EVENT:
            return L"CTRL_LOGOFF_EVENT";
        case CTRL_SHUTDOWN_EVENT:
            return L"CTRL_SHUTDOWN_EVENT";
        default:
            return {};
    }
}
