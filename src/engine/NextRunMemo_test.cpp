#include "engine/NextRunMemo.h"

#include <gtest/gtest.h>

namespace {

constexpr RealTime kSecond = kMicrosecondsPerSecond;
constexpr RealTime kNine = 1'893'488'400 * kSecond;  // 1 January 2030, 09:00 UTC
constexpr RealTime kTen = kNine + 3600 * kSecond;

struct RecallRow {
    const char* why;
    std::uint64_t revision;
    std::uint64_t line;
    RealTime reference;
    bool known;
};

// Remembered: revision 7 gave the run at 10:00 for the reference 09:00, on line generation 2.
TEST(NextRunMemo, AnswerHoldsFromItsReferenceUpToTheRunFound) {
    NextRunMemo memo;
    memo.Remember(7, 2, kNine, ScheduledRun{kTen});
    const RecallRow rows[] = {
        {"the reference it was found for", 7, 2, kNine, true},
        {"a later moment before the run", 7, 2, kNine + 1800 * kSecond, true},
        {"the last microsecond before the run", 7, 2, kTen - 1, true},
        {"the run's own moment: the run after it is another", 7, 2, kTen, false},
        {"after the run", 7, 2, kTen + kSecond, false},
        {"a moment before the reference", 7, 2, kNine - 1, false},
        {"another definition", 8, 2, kNine + kSecond, false},
        {"the clock was set since", 7, 3, kNine + kSecond, false},
        {"a task object that keeps no revision", 0, 2, kNine + kSecond, false},
    };
    for (const RecallRow& row : rows) {
        ScheduledRun next{-1};
        EXPECT_EQ(memo.Recall(row.revision, row.line, row.reference, next), row.known) << row.why;
        EXPECT_EQ(next.at, row.known ? kTen : -1) << row.why;
    }
}

TEST(NextRunMemo, NoRunFoundHoldsForEveryLaterReference) {
    NextRunMemo memo;
    memo.Remember(3, 0, kNine, ScheduledRun{});
    ScheduledRun next{-1};
    EXPECT_TRUE(memo.Recall(3, 0, kNine + 400 * 86'400 * kSecond, next));
    EXPECT_FALSE(next.IsRun());
    EXPECT_FALSE(memo.Recall(3, 0, kNine - kSecond, next));
}

}  // namespace
