#include "platform/Path.h"

#include <gtest/gtest.h>

namespace {

TEST(Path, JoinsWithOneSeparatorAndSplitsParentAndBaseName) {
    EXPECT_EQ(JoinPath(L"/work", L"Tasks"), L"/work/Tasks");
    EXPECT_EQ(JoinPath(L"/work/", L"/Tasks"), L"/work/Tasks");
    EXPECT_EQ(JoinPath(L"/", L"etc"), L"/etc");
    EXPECT_EQ(JoinPath(L"", L"a"), L"a");
    EXPECT_EQ(JoinPath(L"a", L""), L"a");
    EXPECT_EQ(ParentPath(L"/work/Tasks/x.xml"), L"/work/Tasks");
    EXPECT_EQ(ParentPath(L"/work/Tasks/"), L"/work");
    EXPECT_EQ(ParentPath(L"/work"), L"/");
    EXPECT_EQ(ParentPath(L"relative"), L"");
    EXPECT_EQ(BaseName(L"/work/Tasks/x.xml"), L"x.xml");
    EXPECT_EQ(BaseName(L"/work/Tasks/"), L"Tasks");
    EXPECT_EQ(BaseName(L"plain"), L"plain");
    EXPECT_TRUE(IsAbsolutePath(L"/work"));
    EXPECT_FALSE(IsAbsolutePath(L"work/Tasks"));
    EXPECT_FALSE(IsAbsolutePath(L""));
}

}  // namespace
