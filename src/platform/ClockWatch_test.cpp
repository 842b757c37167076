#include "platform/ClockWatch.h"

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/Wait.h"
#include "platform/WideText.h"
#include "support/TempFolder.h"

namespace {

constexpr DWORD kHangGuardMs = 30000;

namespace fs = std::filesystem;

// False when this process may not set the clock.
bool SetClockToItsCurrentValue() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return ::clock_settime(CLOCK_REALTIME, &now) == 0;
}

TEST(ClockWatchTest, SignalsOncePerSettingOfTheClock) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "setting the clock needs root";
    }
    auto watch = ClockWatch::Open();
    ASSERT_NE(watch, nullptr);
    ASSERT_EQ(WaitOne(*watch, 0), WAIT_TIMEOUT);
    if (!SetClockToItsCurrentValue()) {
        GTEST_SKIP() << "this root may not set the clock (errno " << errno << ")";
    }
    EXPECT_EQ(WaitOne(*watch, kHangGuardMs), WAIT_OBJECT_0);
    EXPECT_EQ(WaitOne(*watch, 0), WAIT_TIMEOUT);

    ASSERT_TRUE(SetClockToItsCurrentValue());
    ASSERT_TRUE(SetClockToItsCurrentValue());
    EXPECT_EQ(WaitOne(*watch, kHangGuardMs), WAIT_OBJECT_0);
    EXPECT_EQ(WaitOne(*watch, 0), WAIT_TIMEOUT) << "two settings before a wait count as one";
}

class ClockWatchZoneTest : public testing::Test {
protected:
    void SetUp() override {
        WriteBytes(ZoneFile(), "TZif zone one");
        m_watch = ClockWatch::Open(ZoneFile());
        ASSERT_NE(m_watch, nullptr);
        ASSERT_EQ(WaitOne(*m_watch, 0), WAIT_TIMEOUT);
    }

    std::wstring ZoneFile() const { return m_folder / L"localtime"; }
    fs::path PathOf(const wchar_t* name) const { return WideToUtf8(m_folder / name); }

    TempFolder m_folder;
    std::unique_ptr<ClockWatch> m_watch;
};

TEST_F(ClockWatchZoneTest, SignalsWhenTheZoneFileIsReplaced) {
    fs::create_symlink("/usr/share/zoneinfo/Europe/Berlin", PathOf(L".localtime.new"));
    fs::rename(PathOf(L".localtime.new"), PathOf(L"localtime"));
    EXPECT_EQ(WaitOne(*m_watch, kHangGuardMs), WAIT_OBJECT_0);
    EXPECT_EQ(WaitOne(*m_watch, 0), WAIT_TIMEOUT);
}

TEST_F(ClockWatchZoneTest, SignalsWhenTheZoneFileIsRewritten) {
    WriteBytes(ZoneFile(), "TZif zone two");
    EXPECT_EQ(WaitOne(*m_watch, kHangGuardMs), WAIT_OBJECT_0);
    EXPECT_EQ(WaitOne(*m_watch, 0), WAIT_TIMEOUT);
}

TEST_F(ClockWatchZoneTest, IgnoresOtherFilesBesideIt) {
    WriteBytes(m_folder / L"hostname", "machine");
    fs::remove(PathOf(L"hostname"));
    EXPECT_EQ(WaitOne(*m_watch, 0), WAIT_TIMEOUT);
}

}  // namespace
