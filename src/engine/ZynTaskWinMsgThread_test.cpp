#include "engine/ZynTaskWinMsgThread.h"

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

constexpr DWORD kHangGuardMs = 30000;

class ZynTaskWinMsgThreadTest : public testing::Test {
protected:
    void SetUp() override { WriteBytes(ZoneFile(), "TZif zone one"); }
    std::wstring ZoneFile() const { return m_folder / L"localtime"; }

    TempFolder m_folder;
};

TEST_F(ZynTaskWinMsgThreadTest, ZoneChangesBecomeOneAutomaticResetSignal) {
    auto thread = MakeCounted<CZynTaskWinMsgThread>(ZoneFile());
    CAtlEvent& changed = thread->GetTimeChangedEvent();
    EXPECT_FALSE(changed.Lock(0));

    WriteBytes(ZoneFile(), "TZif zone two");
    EXPECT_TRUE(changed.Lock(kHangGuardMs));
    EXPECT_FALSE(changed.Lock(0)) << "the signal did not reset with the wait";

    WriteBytes(ZoneFile(), "TZif zone three");
    EXPECT_TRUE(changed.Lock(kHangGuardMs));
}

TEST_F(ZynTaskWinMsgThreadTest, DestructionEndsTheThreadWithoutLoggingAnything) {
    LogCapture log;
    auto thread = MakeCounted<CZynTaskWinMsgThread>(ZoneFile());
    EXPECT_EQ(thread->GetThreadName(), L"CZynTaskWinMsgThread Thread");
    thread.Reset();  // joins the thread: a thread left running would hang or touch freed memory
    EXPECT_TRUE(log.Records().empty());
}

TEST_F(ZynTaskWinMsgThreadTest, SettingTheClockSignals) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "setting the clock needs root";
    }
    auto thread = MakeCounted<CZynTaskWinMsgThread>(ZoneFile());
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (::clock_settime(CLOCK_REALTIME, &now) != 0) {
        GTEST_SKIP() << "this root may not set the clock";
    }
    EXPECT_TRUE(thread->GetTimeChangedEvent().Lock(kHangGuardMs));
}

}  // namespace
