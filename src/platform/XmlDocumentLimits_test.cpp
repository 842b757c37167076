// Limits of the Linux parser: documents far deeper and wider than any task document parse
// without recursion and in linear time. The system's DOM on Windows sets limits of its own.
#include "platform/XmlDocument.h"

#include <gtest/gtest.h>

namespace {

TEST(XmlDocument, DeepNestingParsesAndReadsWithoutRecursion) {
    std::wstring deep;
    const int depth = 100000;
    for (int i = 0; i < depth; ++i) {
        deep += L"<n>";
    }
    deep += L"x";
    for (int i = 0; i < depth; ++i) {
        deep += L"</n>";
    }
    XmlDocument doc;
    std::wstring reason;
    ASSERT_TRUE(doc.Load(deep, reason)) << reason;
    EXPECT_EQ(doc.DocumentElement().Text(), L"x");
}

TEST(XmlDocument, ManyAttributesAreCheckedForDuplicates) {
    std::wstring element = L"<a";
    for (int i = 0; i < 50000; ++i) {
        element += L" n" + std::to_wstring(i) + L"=\"v\"";
    }
    XmlDocument doc;
    std::wstring reason;
    EXPECT_TRUE(doc.Load(element + L"/>", reason)) << reason;
    EXPECT_FALSE(doc.Load(element + L" n7=\"again\"/>", reason));
    EXPECT_EQ(reason, L"Duplicate attribute");
}

}  // namespace
