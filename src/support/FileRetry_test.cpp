#include "support/FileRetry.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/LastError.h"
#include "support/LogCapture.h"

namespace {

struct RetryRow {
    const char* what;
    std::vector<DWORD> answers;  // of the attempts in turn; the last repeats
    DWORD result;
    std::size_t attempts;
};

TEST(FileRetry, OnlyABusyFileIsTriedAgain) {
    const std::size_t all = 1 + FileRetry::kRetries;
    const std::vector<RetryRow> rows = {
        {"busy, then free",
         {ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION, ERROR_SUCCESS},
         ERROR_SUCCESS,
         3},
        {"busy for good", {ERROR_SHARING_VIOLATION}, ERROR_SHARING_VIOLATION, all},
        {"access denied", {ERROR_ACCESS_DENIED, ERROR_SUCCESS}, ERROR_ACCESS_DENIED, 1},
        {"missing", {ERROR_FILE_NOT_FOUND, ERROR_SUCCESS}, ERROR_FILE_NOT_FOUND, 1},
    };
    for (const RetryRow& row : rows) {
        SCOPED_TRACE(row.what);
        LogCapture log;
        std::size_t attempts = 0;
        const DWORD result = FileRetry::Run(L"create", L"/some/file", [&] {
            return row.answers[std::min(attempts++, row.answers.size() - 1)];
        });
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(attempts, row.attempts);
        EXPECT_EQ(log.Matching(L"Will proceed with retries").size(), row.attempts > 1 ? 1u : 0u);
    }
}

}  // namespace
