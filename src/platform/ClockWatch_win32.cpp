// The system tells top-level windows that the clock was set (WM_TIMECHANGE); a window that is
// only for messages hears no broadcast, so the watch's window is an ordinary one that is never
// shown. The zone settings live in the registry, whose change notice is waited on beside the
// window's messages.
#include "platform/ClockWatch.h"

#include <future>

#include "platform/WallClock.h"

namespace {

constexpr wchar_t kWindowClass[] = L"ZynClockWatch";
constexpr wchar_t kZoneKey[] = L"SYSTEM\\CurrentControlSet\\Control\\TimeZoneInformation";

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMECHANGE) {
        ::SetEvent(reinterpret_cast<HANDLE>(::GetWindowLongPtrW(window, GWLP_USERDATA)));
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeWindow(HANDLE ready) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassW(&windowClass);  // fails harmlessly when another watch registered it
    const HWND window = ::CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                          nullptr, windowClass.hInstance, nullptr);
    if (window != nullptr) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(ready));
    }
    return window;
}

}  // namespace

std::unique_ptr<ClockWatch> ClockWatch::Open(std::wstring_view) {
    std::unique_ptr<ClockWatch> watch(new ClockWatch());
    watch->m_ready.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    watch->m_stop.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    watch->m_zoneChanged.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!watch->m_ready.IsValid() || !watch->m_stop.IsValid() || !watch->m_zoneChanged.IsValid()) {
        return nullptr;
    }
    // Without the key only the clock is watched.
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kZoneKey, 0, KEY_NOTIFY, &watch->m_zoneKey) !=
        ERROR_SUCCESS) {
        watch->m_zoneKey = nullptr;
    }
    std::promise<DWORD> started;
    std::future<DWORD> result = started.get_future();
    ClockWatch* self = watch.get();
    watch->m_thread = std::thread([self, &started] {
        const HWND window = MakeWindow(self->m_ready.Get());
        started.set_value(window != nullptr ? ERROR_SUCCESS : ::GetLastError());
        if (window != nullptr) {
            self->Watch();
            ::DestroyWindow(window);
        }
    });
    if (const DWORD error = result.get(); error != ERROR_SUCCESS) {
        watch->m_thread.join();
        ::SetLastError(error);
        return nullptr;
    }
    return watch;
}

ClockWatch::~ClockWatch() {
    ::SetEvent(m_stop.Get());
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_zoneKey != nullptr) {
        ::RegCloseKey(m_zoneKey);
    }
}

void ClockWatch::Watch() {
    const auto armZoneNotice = [this] {
        return m_zoneKey != nullptr &&
               ::RegNotifyChangeKeyValue(m_zoneKey, FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                         m_zoneChanged.Get(), TRUE) == ERROR_SUCCESS;
    };
    armZoneNotice();
    const HANDLE waits[] = {m_stop.Get(), m_zoneChanged.Get()};
    for (;;) {
        const DWORD woken = ::MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) {
            return;
        }
        if (woken == WAIT_OBJECT_0 + 1) {
            ::SetEvent(m_ready.Get());
            armZoneNotice();
        }
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&message);
        }
    }
}

bool ClockWatch::ClaimSignal() {
    ReloadTimeZone();
    return true;
}
