// The Windows side of ClockWatch: the system's notice that the clock was set, sent the way the
// system sends it, to every top-level window.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/ClockWatch.h"
#include "platform/Wait.h"

namespace {

constexpr DWORD kHangGuardMs = 30000;

void BroadcastClockSet() {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(HWND_BROADCAST, WM_TIMECHANGE, 0, 0, SMTO_ABORTIFHUNG, kHangGuardMs,
                          &result);
}

TEST(ClockWatchTest, SignalsOnceForTheChangesBeforeAWait) {
    auto watch = ClockWatch::Open();
    ASSERT_NE(watch, nullptr) << "error " << ::GetLastError();
    EXPECT_EQ(WaitOne(*watch, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    BroadcastClockSet();
    BroadcastClockSet();
    EXPECT_EQ(WaitOne(*watch, kHangGuardMs), WAIT_OBJECT_0);
    EXPECT_EQ(WaitOne(*watch, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    BroadcastClockSet();
    EXPECT_EQ(WaitOne(*watch, kHangGuardMs), WAIT_OBJECT_0);
}

TEST(ClockWatchTest, WatchesComeAndGoIndependently) {
    auto first = ClockWatch::Open();
    auto second = ClockWatch::Open();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    first.reset();
    BroadcastClockSet();
    EXPECT_EQ(WaitOne(*second, kHangGuardMs), WAIT_OBJECT_0);
}

}  // namespace
