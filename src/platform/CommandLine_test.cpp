#include "platform/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using Words = std::vector<std::wstring>;

TEST(CommandLine, SplitsByShellQuotingWithoutExpansion) {
    const struct {
        const wchar_t* line;
        Words words;
    } rows[] = {
        {L"\"/bin/echo\" hello world", {L"/bin/echo", L"hello", L"world"}},
        {L"\"/bin/echo\" ", {L"/bin/echo"}},  // the handler's form without parameters
        {L"\"\"/opt/my app\"\" x", {L"/opt/my", L"app", L"x"}},  // quotes given twice
        {L"  a\t\tb \n c  ", {L"a", L"b", L"c"}},
        {L"'single $HOME \\n' \"double \\\"q\\\" \\$x \\a\"",
         {L"single $HOME \\n", L"double \"q\" $x \\a"}},
        {L"back\\ slash \\'x\\'", {L"back slash", L"'x'"}},
        {L"'' \"\" x", {L"", L"", L"x"}},
        {L"ab'cd'\"ef\"gh", {L"abcdefgh"}},
        {L"$HOME * ~ a;b c|d >e", {L"$HOME", L"*", L"~", L"a;b", L"c|d", L">e"}},
        {L"line\\\ncontinued \"in\\\nquotes\"", {L"linecontinued", L"inquotes"}},
        {L"caf\u00E9 \U0001F600", {L"caf\u00E9", L"\U0001F600"}},
        {L"", {}},
        {L"   ", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.line)));
        const auto words = SplitCommandLine(row.line);
        ASSERT_TRUE(words.has_value());
        EXPECT_EQ(*words, row.words);
    }
}

TEST(CommandLine, RefusesUnterminatedQuotesAndTrailingBackslash) {
    for (const wchar_t* line : {L"\"open", L"'open", L"a b\\", L"\"a\\\"", L"x 'y"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(line)));
        EXPECT_FALSE(SplitCommandLine(line).has_value());
    }
}

}  // namespace
