#include "platform/Base64.h"

#include <gtest/gtest.h>

namespace {

TEST(Base64Test, EncodesAndDecodesEveryPaddingAndRefusesWhatIsNotBase64) {
    struct Row {
        std::string bytes;
        const char* text;
    };
    const Row rows[] = {
        {"", ""},        {"f", "Zg=="},          {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {std::string("\x00\xff\x10\xfb", 4), "AP8Q+w=="},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(EncodeBase64(row.bytes), row.text);
        EXPECT_EQ(DecodeBase64(row.text), row.bytes) << row.text;
    }
    for (const char* text : {"Zg=", "Z===", "Zm9v!A==", "=Zm9", "Zg==Zg==", "Zm 9"}) {
        EXPECT_EQ(DecodeBase64(text), std::nullopt) << text;
    }
}

}  // namespace
