#include "support/AgentLogRecord.h"

#include <gtest/gtest.h>

namespace {

AgentLogEvent SampleEvent() {
    AgentLogEvent event;
    event.severity = 2;
    event.source = L"CZynTask";
    event.message = L"hello";
    event.localTime = SYSTEMTIME{2024, 2, 4, 29, 8, 5, 9, 42};
    event.biasMinutes = -60;
    event.hostName = L"host1";
    event.moduleName = L"libZynTaskSchedulerLib.so";
    event.processName = L"zyntaskd";
    event.processId = 1234;
    event.threadId = 1240;
    event.tickCount = 0x80000005;
    return event;
}

TEST(AgentLogRecord, CarriesEveryFieldInOrder) {
    CAgentLogRecord record;
    EXPECT_EQ(record.Build(SampleEvent()),
              "\r\n<event date='02/29/2024 08:05:09.0420000 +01:00' severity='2' hostName='host1' "
              "source='CZynTask' module='libZynTaskSchedulerLib.so' process='zyntaskd' "
              "pid='1234' thread='1240' tickCount='5' >\r\n  <![CDATA[hello]]>\r\n</event>");
}

// Each row: a zone offset, and a source and message with what the record makes of them.
TEST(AgentLogRecord, WritesTheZoneOffsetAndEscapesSourceAndMessage) {
    const struct {
        LONG bias;
        const char* suffix;
        const wchar_t* source;
        const wchar_t* message;
        const char* expectedSource;
        const char* expectedMessage;
    } rows[] = {
        {-60, "+01:00", L"a<b>&\"'", L"x", "a&lt;b&gt;&amp;&quot;&apos;", "x"},
        {300, "-05:00", L"s", L"end ]]> here", "s", "end ]]&gt; here"},
        {0, "+00:00", L"s", L"]]&amp; and ]]]>", "s", "]]&amp;amp; and ]]]&gt;"},
        {-330, "+05:30", L"s", L"one\ntwo\r\nthree\n", "s", "one\r\ntwo\r\nthree\r\n"},
        {570, "-09:30", L"s", L"\nfirst", "s", "\r\nfirst"},
        {-60, "+01:00", L"s", L"caf\u00E9", "s", "caf\xC3\xA9"},
    };
    CAgentLogRecord record;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expectedMessage);
        AgentLogEvent event = SampleEvent();
        event.biasMinutes = row.bias;
        event.source = row.source;
        event.message = row.message;
        const std::string text = record.Build(event);
        EXPECT_NE(text.find(std::string(".0420000 ") + row.suffix + "' severity"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(std::string("source='") + row.expectedSource + "' module"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(std::string("<![CDATA[") + row.expectedMessage + "]]>\r\n</event>"),
                  std::string::npos)
            << text;
    }
}

TEST(AgentLogSeverity, EffectiveSeverityAndFilter) {
    const struct {
        DWORD argument;
        DWORD overrideValue;
        DWORD expected;
    } rows[] = {
        {3, kNoAgentLogOverride, 3},
        {64, kNoAgentLogOverride, 32},
        {0, kNoAgentLogOverride, 1},
        {1, 0x00200000, 4},
        {2, 0x00200000, 2},
        {0, 0x00200000, 4},
        {64, 0x00100000, 8},
        {1 | 0x00100000, kNoAgentLogOverride, 8},  // the argument's own mode without override
        {1 | 0x00100000, 0, 1},                    // an override replaces the argument's mode
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.argument << " " << row.overrideValue);
        EXPECT_EQ(EffectiveSeverity(row.argument, row.overrideValue), row.expected);
    }
    EXPECT_FALSE(PassesFilter(8, 7, kNoAgentLogOverride));
    EXPECT_TRUE(PassesFilter(8, 7, 0x00000008));
    EXPECT_TRUE(PassesFilter(3, 2, kNoAgentLogOverride));
    EXPECT_FALSE(PassesFilter(32, 7, kNoAgentLogOverride));
    EXPECT_TRUE(PassesFilter(32, 32, kNoAgentLogOverride));
    EXPECT_EQ(EffectiveFlags(1, 0x02000000), kAgentLogSuppressAll);
    EXPECT_EQ(EffectiveFlags(1 | 0x04000000, kNoAgentLogOverride), kAgentLogCopyToConsole);
    EXPECT_EQ(EffectiveFlags(1 | 0x04000000, 0), 0u);
    EXPECT_STREQ(SeverityName(4), L" INFO");
    EXPECT_STREQ(SeverityName(3), L"?UNKN");
}

}  // namespace
