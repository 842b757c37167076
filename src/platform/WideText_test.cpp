#include "platform/WideText.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8, DecodesEveryLengthAndRoundTrips) {
    const std::string bytes = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
    const auto wide = Utf8ToWide(bytes);
    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ(*wide, std::wstring(L"A\u00E9\u20AC\U0001F600"));
    EXPECT_EQ(WideToUtf8(*wide), bytes);
}

TEST(Utf8, StrictDecodingRefusesMalformedInput) {
    for (const std::string& bad : {std::string("\xC3"), std::string("\xC3\x28"),
                                   std::string("\xC0\xAF"),          // overlong "/"
                                   std::string("\xED\xA0\x80"),      // a surrogate
                                   std::string("\xF4\x90\x80\x80"),  // beyond U+10FFFF
                                   std::string("\xFF"), std::string("ok\x80")}) {
        SCOPED_TRACE(testing::PrintToString(bad));
        EXPECT_FALSE(Utf8ToWide(bad).has_value());
    }
    EXPECT_EQ(Utf8ToWideLossy("a\xFF"
                              "b"),
              L"a\uFFFDb");
}

TEST(Utf16Le, DecodesPairsAndRefusesBrokenOnes) {
    const std::wstring text = L"x\U0001F600";
    const std::string bytes = WideToUtf16Le(text);
    EXPECT_EQ(bytes, std::string("x\0\x3D\xD8\x00\xDE", 6));
    EXPECT_EQ(Utf16LeToWide(bytes), text);
    EXPECT_FALSE(Utf16LeToWide(std::string("x", 1)).has_value());                 // odd length
    EXPECT_FALSE(Utf16LeToWide(std::string("\x3D\xD8", 2)).has_value());          // lone high
    EXPECT_FALSE(Utf16LeToWide(std::string("\x00\xDE\x41\x00", 4)).has_value());  // lone low
}

TEST(FormatText, FormatsAndCutsAtCapacity) {
    EXPECT_EQ(FormatText(64, L"%ls=%d (0x%08X)", L"value", 5, 0x80004005u),
              L"value=5 (0x80004005)");
    const std::wstring cut = FormatText(8, L"%ls", L"0123456789");
    EXPECT_EQ(cut, L"0123456");
    EXPECT_EQ(FormatText(0, L"x"), L"");
}

}  // namespace
