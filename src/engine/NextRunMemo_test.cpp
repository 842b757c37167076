#include "engine/NextRunMemo.h"

#include <gtest/gtest.h>

namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr DATE kNine = 47484.375;  // 1 January 2030, 09:00
constexpr DATE kTen = kNine + 3600 * kSecond;

struct RecallRow {
    const char* why;
    std::uint64_t revision;
    DATE reference;
    bool known;
};

// Remembered: revision 7 gave the run at 10:00 for the reference 09:00.
TEST(NextRunMemo, AnswerHoldsFromItsReferenceUpToTheRunFound) {
    NextRunMemo memo;
    memo.Remember(7, kNine, kTen);
    const RecallRow rows[] = {
        {"the reference it was found for", 7, kNine, true},
        {"a later second before the run", 7, kNine + 1800 * kSecond, true},
        {"the last second before the run", 7, kTen - kSecond, true},
        {"the run's own second: the run after it is another", 7, kTen, false},
        {"after the run", 7, kTen + kSecond, false},
        {"a clock set back before the reference", 7, kNine - kSecond, false},
        {"another definition", 8, kNine + kSecond, false},
        {"a definition that repeats within windows", 0, kNine + kSecond, false},
        {"no reference time at all", 7, 0, false},
    };
    for (const RecallRow& row : rows) {
        DATE next = -1;
        EXPECT_EQ(memo.Recall(row.revision, row.reference, next), row.known) << row.why;
        EXPECT_EQ(next, row.known ? kTen : -1) << row.why;
    }
}

TEST(NextRunMemo, NoRunFoundHoldsForEveryLaterReference) {
    NextRunMemo memo;
    memo.Remember(3, kNine, 0);
    DATE next = -1;
    EXPECT_TRUE(memo.Recall(3, kNine + 400.0, next));
    EXPECT_EQ(next, 0);
    EXPECT_FALSE(memo.Recall(3, kNine - kSecond, next));
    EXPECT_FALSE(memo.Recall(4, kNine + kSecond, next));
}

TEST(NextRunMemo, KnowsNothingUntilToldAndOnlyTheLastAnswer) {
    NextRunMemo memo;
    DATE next = -1;
    EXPECT_FALSE(memo.Recall(1, kNine, next));
    memo.Remember(1, kNine, kTen);
    memo.Remember(1, kTen, kTen + 3600 * kSecond);
    EXPECT_FALSE(memo.Recall(1, kNine, next)) << "the earlier answer was replaced";
    EXPECT_TRUE(memo.Recall(1, kTen, next));
    EXPECT_EQ(next, kTen + 3600 * kSecond);
    memo.Remember(0, kTen, kTen + 7200 * kSecond);
    EXPECT_FALSE(memo.Recall(0, kTen, next)) << "revision 0 keeps nothing";
}

}  // namespace
