#include "platform/OutputTail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(OutputTailTest, HoldsTheNewestBytesUpToItsBound) {
    struct Row {
        std::vector<std::string> appended;
        std::string kept;
    };
    const Row rows[] = {
        {{"ab", "cd"}, "abcd"},
        {{"abcdef"}, "cdef"},                      // one append past the bound
        {{"ab", "cd", "ef", "gh", "ij"}, "ghij"},  // trimmed once past twice the bound
        {{"abc", "defgh", "i"}, "fghi"},
    };
    for (const Row& row : rows) {
        OutputTail tail(4);
        std::size_t total = 0;
        for (const std::string& bytes : row.appended) {
            tail.Append(bytes);
            total += bytes.size();
        }
        EXPECT_EQ(tail.Bytes(), row.kept);
        EXPECT_EQ(tail.TotalBytes(), total);
    }
}

}  // namespace
