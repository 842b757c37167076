#include "support/LogCall.h"

#include <gtest/gtest.h>

#include "platform/SystemMessage.h"
#include "support/LogCapture.h"
#include "support/LogSink.h"

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

// Keeps errors and warnings only, and counts the records it was handed.
class WarningsOnly final : public LogSink {
public:
    WarningsOnly() : m_previous(LogSink::Install(this)) {}
    ~WarningsOnly() override { LogSink::Install(m_previous); }
    void Write(DWORD, const wchar_t*, const wchar_t*) override { ++written; }
    bool Accepts(DWORD severity) override {
        return (severity & (CE_SEVERITY_ERROR | CE_SEVERITY_WARNING)) != 0;
    }

    int written = 0;

private:
    LogSink* m_previous;
};

TEST(LogCall, RecordsTheSinkWouldDropAreNeitherMadeNorHandedOver) {
    WarningsOnly sink;
    EXPECT_TRUE(CEWillReport(CE_SEVERITY_WARNING));
    EXPECT_FALSE(CEWillReport(CE_SEVERITY_TRACE));
    CEReportEventFormat(CE_SEVERITY_TRACE, L"S", L"dropped %d", 1);
    CEReportEventWithError(CE_SEVERITY_INFORMATION, L"S", 5, L"dropped %d", 2);
    CETrace(CE_SEVERITY_DEBUG, __FILE__, __LINE__, L"dropped %d", 3);
    EXPECT_EQ(sink.written, 0);
    CEReportEventFormat(CE_SEVERITY_WARNING, L"S", L"kept %d", 1);
    CEReportEventWithError(CE_SEVERITY_ERROR, L"S", 5, L"kept %d", 2);
    CETrace(CE_SEVERITY_WARNING, __FILE__, __LINE__, L"kept %d", 3);
    EXPECT_EQ(sink.written, 3);
}

TEST(LogCall, EmptyMessagesAreDroppedAndNullSourcesKept) {
    LogCapture log;
    CEReportEvent(CE_SEVERITY_ERROR, L"S", nullptr);
    CEReportEvent(CE_SEVERITY_ERROR, L"S", L"");
    CEReportEventWithError(CE_SEVERITY_ERROR, L"S", 5, L"");  // no system text alone either
    CEReportEvent(CE_SEVERITY_ERROR, nullptr, L"no source");
    CEReportEventWithError(CE_SEVERITY_ERROR, L"S", 5, L"Cannot delete file '%ls'", L"/a");
    const auto records = log.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_FALSE(records[0].hasSource);
    EXPECT_EQ(records[1].message, L"Cannot delete file '/a', error: " + SystemMessageText(5));
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
    LogSink* previous = LogSink::Install(&sink);
    EXPECT_NO_THROW(CEReportEvent(CE_SEVERITY_ERROR, L"S", L"m"));
    EXPECT_NO_THROW(CEReportEventFormat(CE_SEVERITY_ERROR, L"S", L"m %d", 1));
    LogSink::Install(previous);
}

}  // namespace
