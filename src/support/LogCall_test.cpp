#include "support/LogCall.h"

#include <gtest/gtest.h>

#include "support/LogCapture.h"

namespace {

TEST(LogCall, FormatsAndCutsLongText) {
    LogCapture log;
    CEReportEventFormat(CE_SEVERITY_INFORMATION, L"Task Scheduler", L"Queueing task %ls (%d)",
                        L"{A}", 3);
    const std::wstring longText(5000, L'x');
    CEReportEventFormat(CE_SEVERITY_WARNING, L"S", L"%ls", longText.c_str());
    const auto records = log.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, L"Queueing task {A} (3)");
    EXPECT_EQ(records[0].severity, CE_SEVERITY_INFORMATION);
    EXPECT_EQ(records[1].message, std::wstring(kLogMessageCapacity - 1, L'x'));
}

TEST(LogCall, WithErrorAppendsTheSystemTextOnlyToAMessage) {
    LogCapture log;
    CEReportEventWithError(CE_SEVERITY_ERROR, L"S", 5, L"Cannot delete file '%ls'", L"/a");
    CEReportEventWithError(CE_SEVERITY_ERROR, L"S", 5, L"");
    const auto records = log.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, L"Cannot delete file '/a', error: Access is denied.");
}

TEST(LogCall, EmptyMessagesAreDroppedAndNullSourcesKept) {
    LogCapture log;
    CEReportEvent(CE_SEVERITY_ERROR, L"S", nullptr);
    CEReportEvent(CE_SEVERITY_ERROR, L"S", L"");
    CEReportEvent(CE_SEVERITY_ERROR, nullptr, L"no source");
    const auto records = log.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].hasSource);
}

TEST(LogCall, TraceSourceIsTheFileBaseNameAndLine) {
    LogCapture log;
    CETrace(CE_SEVERITY_WARNING, "C:\\src\\automation\\ZynTaskScheduler.cpp", 220, L"x %d", 1);
    CETrace(CE_SEVERITY_WARNING, "src/support/CEThread.h", 28, L"y");
    CETrace(CE_SEVERITY_WARNING, "Makefile", 1, L"z");
    const auto records = log.Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].source, L"ZynTaskScheduler(220)");
    EXPECT_EQ(records[0].message, L"x 1");
    EXPECT_EQ(records[1].source, L"CEThread(28)");
    EXPECT_EQ(records[2].source, L"Makefile(1)");
}

class ThrowingSink final : public LogSink {
public:
    void Write(DWORD, const wchar_t*, const wchar_t*) override { throw std::bad_alloc(); }
};

TEST(LogCall, ASinkFailureNeverReachesTheCaller) {
    ThrowingSink sink;
    LogSink::Install(&sink);
    EXPECT_NO_THROW(CEReportEvent(CE_SEVERITY_ERROR, L"S", L"m"));
    EXPECT_NO_THROW(CEReportEventFormat(CE_SEVERITY_ERROR, L"S", L"m %d", 1));
    LogSink::Install(nullptr);
}

}  // namespace
