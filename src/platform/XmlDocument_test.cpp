#include "platform/XmlDocument.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kTask[] =
    L"<?xml version=\"1.0\"?>\n"
    L"<Task><Schedule Name=\"Nightly\">\n"
    L"  <Trigger Type=\"1\"><BeginDate> 2024-01-01 </BeginDate></Trigger>\n"
    L"  <Trigger "
    L"Type=\"2\"><BeginDate>2024-02-01</BeginDate><Note>a<![CDATA[<b>]]>c</Note></Trigger>\n"
    L"</Schedule><Name>caf\u00E9</Name></Task>";

TEST(XmlDocument, SelectsElementsAndAttributesByXPath) {
    XmlDocument doc;
    std::wstring reason;
    ASSERT_TRUE(doc.Load(kTask, reason)) << reason;
    EXPECT_EQ(doc.SelectSingle(L"//Schedule/@Name").Text(), L"Nightly");
    EXPECT_TRUE(doc.SelectSingle(L"//Schedule/@Name").IsAttribute());
    const auto triggers = doc.SelectAll(L"//Trigger");
    ASSERT_EQ(triggers.size(), 2u);
    EXPECT_EQ(triggers[0].SelectSingle(L".//BeginDate").Text(), L"2024-01-01");
    EXPECT_EQ(triggers[1].Attribute(L"Type").Text(), L"2");
    EXPECT_EQ(triggers[1].SelectSingle(L".//Note").Text(), L"a<b>c");
    EXPECT_EQ(doc.SelectSingle(L"//Name").Text(), L"caf\u00E9");
    EXPECT_TRUE(doc.SelectSingle(L"//Missing").IsNull());
    EXPECT_TRUE(doc.SelectSingle(L"//[").IsNull());  // not XPath: nothing, no exception
}

TEST(XmlDocument, EditsAndSerialises) {
    XmlDocument doc;
    std::wstring reason;
    ASSERT_TRUE(doc.Load(L"<Log><A>1</A><B/></Log>", reason));
    XmlNode root = doc.DocumentElement();
    root.SetAttribute(L"Name", L"x\"<&>");
    root.SelectSingle(L"A").SetText(L"2 & 3");
    XmlNode c = root.AppendElement(L"C");
    c.SetText(L"new");

    XmlDocument other;
    ASSERT_TRUE(other.Load(L"<B Kind=\"replaced\"><D/></B>", reason));
    XmlNode replaced = root.ReplaceChild(root.SelectSingle(L"B"), other.DocumentElement());
    EXPECT_EQ(replaced.Attribute(L"Kind").Text(), L"replaced");
    EXPECT_TRUE(root.AppendCopy(other.SelectSingle(L"//D")));
    EXPECT_TRUE(root.Attribute(L"Name").Remove());
    EXPECT_EQ(doc.Serialize(),
              L"<Log><A>2 &amp; 3</A><B Kind=\"replaced\"><D/></B><C>new</C><D/></Log>");
    EXPECT_TRUE(root.SelectSingle(L"C").Remove());
    EXPECT_EQ(root.ChildElements().size(), 3u);
    EXPECT_EQ(root.SelectSingle(L"A").Serialize(), L"<A>2 &amp; 3</A>");
}

void ExpectRefused(const wchar_t* bad) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(bad)));
    XmlDocument doc;
    std::wstring reason;
    EXPECT_FALSE(doc.Load(bad, reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(doc.DocumentElement().IsNull());
}

TEST(XmlDocument, RefusesWhatIsNotXmlWithAReason) {
    for (const wchar_t* bad : {L"", L"not xml", L"<a>", L"<a></b>", L"<a/><b/>",
                               L"<?xml version=\"1.0\"?>", L"<a x=\"1\" x=\"2\"/>"}) {
        ExpectRefused(bad);
    }
}

TEST(XmlDocument, DoesNotExpandDeclaredEntities) {
    const std::wstring laughs =
        L"<!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
        L"<!ENTITY ext SYSTEM \"file:///etc/passwd\">]><l>&b;&ext;</l>";
    XmlDocument doc;
    std::wstring reason;
    if (doc.Load(laughs, reason)) {
        EXPECT_EQ(doc.DocumentElement().Text().find(L"aaaa"), std::wstring::npos);
        EXPECT_EQ(doc.DocumentElement().Text().find(L"root"), std::wstring::npos);
    }
}

TEST(XmlDocument, RefusesCharactersXmlDoesNotAllow) {
    // Referenced, U+0000 would silently end the value it stands in ("2030-01-01&#0;10:00" read
    // as a date); raw control characters would be written back as such references.
    for (const wchar_t* bad :
         {L"<a>2030-01-01&#0;10:00</a>", L"<a b='x&#x0000;y'/>", L"<a>&#1;</a>", L"<a>&#xD800;</a>",
          L"<a>&#xFFFE;</a>", L"<a>&#x110000;</a>", L"<a>&#4294967361;</a>",
          L"<a><b/>&#65;&#x1F;</a>", L"<a>\x10</a>", L"<a b='\x1B'/>", L"<a><!-- \x01 --></a>",
          L"<a>\xFFFF</a>"}) {
        ExpectRefused(bad);
    }
    XmlDocument doc;
    std::wstring reason;
    ASSERT_TRUE(doc.Load(L"<a t='&#9;'>&#65;&#x10FFFF;<!-- &#0; --><![CDATA[&#0;]]></a>", reason))
        << reason;
    EXPECT_EQ(doc.DocumentElement().Text(), L"A\U0010FFFF&#0;");
    EXPECT_EQ(doc.DocumentElement().Attribute(L"t").Text(), L"\t");

    // Written, such characters become U+FFFD, so that the document reads back.
    doc.DocumentElement().SetAttribute(L"u", std::wstring(L"a\x01") + L'\0' + L"b");
    doc.DocumentElement().AppendElement(L"c").SetText(L"\x1B[1m");
    XmlDocument written;
    ASSERT_TRUE(written.Load(doc.Serialize(), reason)) << reason;
    EXPECT_EQ(written.DocumentElement().Attribute(L"u").Text(), L"a\uFFFD\uFFFDb");
    EXPECT_EQ(written.SelectSingle(L"//c").Text(), L"\uFFFD[1m");
}

}  // namespace
