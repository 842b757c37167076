#include "engine/ZynTaskWinMsgThread.h"

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

constexpr DWORD kHangGuardMs = 30000;

namespace fs = std::filesystem;

std::size_t ThreadsOfThisProcess() {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()));
}

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
    const std::size_t before = ThreadsOfThisProcess();
    auto thread = MakeCounted<CZynTaskWinMsgThread>(ZoneFile());
    EXPECT_EQ(thread->GetThreadName(), L"CZynTaskWinMsgThread Thread");
    // Counted while the thread lives: a sanitizer may start a helper thread of its own along
    // with the first thread a test makes.
    const std::size_t during = ThreadsOfThisProcess();
    EXPECT_GT(during, before);
    thread.Reset();
    // The system may list a joined thread for a moment longer.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangGuardMs);
    while (ThreadsOfThisProcess() != during - 1 && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(ThreadsOfThisProcess(), during - 1);
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
