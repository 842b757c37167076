#include "platform/TerminationSignals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "platform/Wait.h"

namespace {

TEST(TerminationSignals, RequestsSentToTheProcessWaitForTheWaiter) {
    auto signals = TerminationSignals::Create();
    ASSERT_NE(signals, nullptr);
    EXPECT_EQ(WaitOne(*signals, 0), WAIT_TIMEOUT);
    EXPECT_EQ(signals->LastSignalName(), L"");

    // Blocked, the request waits for the object instead of ending the program.
    ::raise(SIGTERM);
    ASSERT_EQ(WaitOne(*signals, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(signals->LastSignalName(), L"SIGTERM");
    EXPECT_EQ(WaitOne(*signals, 0), WAIT_TIMEOUT);

    ::raise(SIGINT);
    ASSERT_EQ(WaitOne(*signals, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(signals->LastSignalName(), L"SIGINT");
}

}  // namespace
