#include "tasks/TriggerDocument.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/SystemMessage.h"
#include "tasks/TaskTestSupport.h"
#include "tasks/ZynTaskImpl.h"

namespace {

const std::wstring kBegin = L"<BeginDate>2024-01-01 10:00</BeginDate>";

std::wstring TriggerElement(const std::wstring& attributes, const std::wstring& content = kBegin) {
    return L"<Trigger " + attributes + L">" + content + L"</Trigger>";
}

CountedPtr<CZynTaskImpl> NewTask() {
    return MakeCounted<CZynTaskImpl>(CountedPtr<IZynTaskEngine>(MakeCounted<FakeEngine>()), 0);
}

std::vector<std::wstring> Warnings(const LogCapture& log) {
    std::vector<std::wstring> warnings;
    for (const LogRecord& record : log.Records()) {
        if (record.severity == CE_SEVERITY_WARNING && record.source == L"CZynTaskImpl") {
            warnings.push_back(record.message);
        }
    }
    return warnings;
}

struct ReadRow {
    const char* rule;
    std::wstring trigger;
    std::vector<std::wstring> warnings;  // exactly these, in this order
    std::function<void(const CZynTaskTrigger&)> check;
};

void ExpectRead(const std::vector<ReadRow>& rows) {
    for (const ReadRow& row : rows) {
        SCOPED_TRACE(row.rule);
        LogCapture log;
        CountedPtr<CZynTaskImpl> task = NewTask();
        ASSERT_EQ(task->SetXml(TaskDocument(row.trigger)), S_OK);
        ASSERT_EQ(task->GetTriggers().size(), 1u);
        EXPECT_EQ(Warnings(log), row.warnings);
        row.check(*task->GetTriggers().front());
    }
}

const std::wstring kNoInterval = L"No task Interval specified, defaulting to 0";
const std::wstring kNoDuration = L"Invalid task Duration specified, defaulting to 0";
const std::wstring kShortDuration =
    L"Invalid trigger settings. The task duration must be greater than the task interval. Using "
    L"an interval value of 0";
const std::wstring kNoMonths = L"Invalid task MonthsOfYear specified, defaulting to 4095";

TEST(TriggerDocument, ReadsEveryFieldOfACompleteTrigger) {
    ExpectRead({
        {"daily with everything",
         TriggerElement(L"Type=\"1\" Interval=\"15\" Duration=\"60\" KillAtEnd=\"1\"",
                        kBegin + L"<EndDate>2024-12-31</EndDate><DaysInterval>3</DaysInterval>"),
         {},
         [](const CZynTaskTrigger& t) {
             EXPECT_EQ(t.Type, kTriggerDaily);
             EXPECT_EQ(t.Enabled, TRUE);
             EXPECT_EQ(DateText(t.BeginDate), "2024-01-01 10:00:00");
             EXPECT_EQ(DateText(t.EndDate), "2024-12-31 00:00:00");
             EXPECT_EQ(t.Interval, 15);
             EXPECT_EQ(t.Duration, 60u);
             EXPECT_EQ(t.DaysInterval, 3);
             EXPECT_EQ(t.NextRunTime, 0);
             EXPECT_EQ(t.BeginRptCycleTime, 0);
             EXPECT_EQ(t.EndRptCycleTime, 0);
             EXPECT_EQ(WideToUtf8(t.Description),
                       "Every 15 minute(s) from 10:00:00 for 60 minutes every 3 days, starting "
                       "01/01/2024 and ending 12/31/2024");
         }},
        {"monthly by weekday, month/day/year dates",
         TriggerElement(L"Type=\"4\" Interval=\"0\" Duration=\"0\"",
                        L"<BeginDate>03/07/2006 08:05</BeginDate><Week>5</Week>"
                        L"<DaysOfWeek>2</DaysOfWeek><MonthsOfYear>5</MonthsOfYear>"),
         {},
         [](const CZynTaskTrigger& t) {
             EXPECT_EQ(DateText(t.BeginDate), "2006-03-07 08:05:00");
             EXPECT_EQ(t.Week, 5);
             EXPECT_EQ(t.DaysOfWeek, 2u);
             EXPECT_EQ(t.MonthsOfYear, 5u);
         }},
        {"elements anywhere below the trigger",
         TriggerElement(L"Type=\"2\" Interval=\"0\" Duration=\"0\"",
                        L"<When><BeginDate>2024-01-01 10:00</BeginDate></When>"
                        L"<Weekly><DaysOfWeek>255</DaysOfWeek></Weekly>"),
         {L"Invalid task WeeksInterval specified, defaulting to 1"},
         [](const CZynTaskTrigger& t) {
             EXPECT_EQ(t.WeeksInterval, 1);
             EXPECT_EQ(t.DaysOfWeek, 255u);  // extra bits are kept
         }},
    });
}

TEST(TriggerDocument, IntervalAndDurationDefaults) {
    ExpectRead({
        {"both missing",
         TriggerElement(L"Type=\"0\""),
         {kNoInterval, kNoDuration},
         [](const CZynTaskTrigger& t) {
             EXPECT_EQ(t.Interval, 0);
             EXPECT_EQ(t.Duration, 0u);
         }},
        {"negative interval",
         TriggerElement(L"Type=\"0\" Interval=\"-5\" Duration=\"10\""),
         {L"Invalid task Interval -5 specified, defaulting to 0"},
         [](const CZynTaskTrigger& t) {
             EXPECT_EQ(t.Interval, 0);
             EXPECT_EQ(t.Duration, 10u);
         }},
        {"duration equal to the interval",
         TriggerElement(L"Type=\"0\" Interval=\"15\" Duration=\"15\""),
         {},
         [](const CZynTaskTrigger& t) { EXPECT_EQ(t.Interval, 15); }},
        {"duration below the interval",
         TriggerElement(L"Type=\"0\" Interval=\"15\" Duration=\"10\""),
         {kShortDuration},
         [](const CZynTaskTrigger& t) {
             EXPECT_EQ(t.Interval, 0);
             EXPECT_EQ(t.Duration, 10u);
         }},
        {"no duration keeps the interval",
         TriggerElement(L"Type=\"0\" Interval=\"15\""),
         {kNoDuration},
         [](const CZynTaskTrigger& t) {
             EXPECT_EQ(t.Interval, 15);
             EXPECT_EQ(t.Duration, 0u);
         }},
        {"a negative duration compares unsigned",
         TriggerElement(L"Type=\"0\" Interval=\"15\" Duration=\"-1\""),
         {},
         [](const CZynTaskTrigger& t) {
             EXPECT_EQ(t.Interval, 15);
             EXPECT_EQ(t.Duration, 0xFFFFFFFFu);
         }},
        {"numbers as wcstol reads them",
         TriggerElement(L"Type=\" +0\" Interval=\"  +7min\" Duration=\"99999999999\""),
         {},
         [](const CZynTaskTrigger& t) {
             EXPECT_EQ(t.Interval, 7);
             EXPECT_EQ(t.Duration, 2147483647u);
         }},
        {"text without digits reads 0",
         TriggerElement(L"Type=\"0\" Interval=\"abc\" Duration=\"\""),
         {},
         [](const CZynTaskTrigger& t) { EXPECT_EQ(t.Interval, 0); }},
    });
}

TEST(TriggerDocument, OnlyTheNumberOneDisables) {
    struct Row {
        const wchar_t* value;
        BOOL enabled;
    };
    for (const Row& row : std::vector<Row>{{L"true", TRUE},
                                           {L"0", TRUE},
                                           {L"2", TRUE},
                                           {L"1", FALSE},
                                           {L" 1", FALSE},
                                           {L"01", FALSE},
                                           {L"1x", FALSE}}) {
        ExpectRead({{"Disabled attribute",
                     TriggerElement(L"Type=\"0\" Interval=\"0\" Duration=\"0\" Disabled=\"" +
                                    std::wstring(row.value) + L"\""),
                     {},
                     [&](const CZynTaskTrigger& t) {
                         EXPECT_EQ(t.Enabled, row.enabled) << WideToUtf8(row.value);
                     }}});
    }
}

TEST(TriggerDocument, TypeSettingsDefaultsAndValuesKeptAsRead) {
    const std::wstring plain = L"Interval=\"0\" Duration=\"0\"";
    ExpectRead({
        {"DaysInterval 0",
         TriggerElement(L"Type=\"1\" " + plain, kBegin + L"<DaysInterval>0</DaysInterval>"),
         {L"Invalid task DaysInterval specified, defaulting to 1"},
         [](const CZynTaskTrigger& t) { EXPECT_EQ(t.DaysInterval, 1); }},
        {"DaysInterval missing",
         TriggerElement(L"Type=\"1\" " + plain),
         {L"Invalid task DaysInterval specified, defaulting to 1"},
         [](const CZynTaskTrigger& t) { EXPECT_EQ(t.DaysInterval, 1); }},
        {"negative DaysInterval is stored",
         TriggerElement(L"Type=\"1\" " + plain, kBegin + L"<DaysInterval>-2</DaysInterval>"),
         {},
         [](const CZynTaskTrigger& t) { EXPECT_EQ(t.DaysInterval, -2); }},
        {"negative WeeksInterval is stored",
         TriggerElement(L"Type=\"2\" " + plain,
                        kBegin + L"<WeeksInterval>-1</WeeksInterval><DaysOfWeek>2</DaysOfWeek>"),
         {},
         [](const CZynTaskTrigger& t) { EXPECT_EQ(t.WeeksInterval, -1); }},
        {"MonthsOfYear missing",
         TriggerElement(L"Type=\"3\" " + plain, kBegin + L"<DaysOfMonth>1</DaysOfMonth>"),
         {kNoMonths},
         [](const CZynTaskTrigger& t) { EXPECT_EQ(t.MonthsOfYear, kAllMonths); }},
        {"MonthsOfYear 4096",
         TriggerElement(L"Type=\"3\" " + plain,
                        kBegin + L"<DaysOfMonth>1</DaysOfMonth><MonthsOfYear>4096</MonthsOfYear>"),
         {kNoMonths},
         [](const CZynTaskTrigger& t) { EXPECT_EQ(t.MonthsOfYear, kAllMonths); }},
        {"extra month bits are kept",
         TriggerElement(L"Type=\"3\" " + plain,
                        kBegin + L"<DaysOfMonth>-1</DaysOfMonth><MonthsOfYear>4098</MonthsOfYear>"),
         {},
         [](const CZynTaskTrigger& t) {
             EXPECT_EQ(t.MonthsOfYear, 4098u);
             EXPECT_EQ(t.DaysOfMonth, 0xFFFFFFFFu);
         }},
        {"monthly by weekday without months",
         TriggerElement(L"Type=\"4\" " + plain,
                        kBegin + L"<Week>1</Week><DaysOfWeek>64</DaysOfWeek>"),
         {kNoMonths},
         [](const CZynTaskTrigger& t) { EXPECT_EQ(t.MonthsOfYear, kAllMonths); }},
        {"once reads no end date",
         TriggerElement(L"Type=\"0\" " + plain, kBegin + L"<EndDate>2020-01-01</EndDate>"),
         {},
         [](const CZynTaskTrigger& t) { EXPECT_EQ(t.EndDate, 0); }},
        {"idle reads no type settings",
         TriggerElement(L"Type=\"5\" " + plain,
                        kBegin + L"<EndDate>2025-01-01</EndDate><DaysOfWeek>2</DaysOfWeek>"),
         {},
         [](const CZynTaskTrigger& t) {
             EXPECT_EQ(t.EndDate, 0);
             EXPECT_EQ(t.DaysOfWeek, 0u);
             EXPECT_EQ(WideToUtf8(t.Description), "Run when idle");
         }},
        {"an end date equal to the begin date",
         TriggerElement(
             L"Type=\"1\" " + plain,
             kBegin + L"<EndDate>2024-01-01 10:00</EndDate><DaysInterval>1</DaysInterval>"),
         {},
         [](const CZynTaskTrigger& t) { EXPECT_EQ(t.EndDate, t.BeginDate); }},
        {"an unreadable end date is none",
         TriggerElement(L"Type=\"1\" " + plain,
                        kBegin + L"<EndDate>someday</EndDate><DaysInterval>1</DaysInterval>"),
         {},
         [](const CZynTaskTrigger& t) { EXPECT_EQ(t.EndDate, 0); }},
        {"a negative type reads nothing",
         L"<Trigger Type=\"-1\" Interval=\"-4\"/>",
         {},
         [](const CZynTaskTrigger& t) {
             EXPECT_EQ(t.Type, -1);
             EXPECT_EQ(t.Enabled, FALSE);
             EXPECT_EQ(t.Interval, 0);
             EXPECT_EQ(t.BeginDate, 0);
             EXPECT_TRUE(t.Description.empty());
         }},
    });
}

TEST(TriggerDocument, RefusalsLeaveTheHeldDocument) {
    struct Row {
        const char* rule;
        std::wstring document;
        std::wstring reason;
    };
    const std::wstring plain = L"Interval=\"0\" Duration=\"0\"";
    const std::wstring noBegin = L"No BeginDate specified for trigger.";
    const std::vector<Row> rows = {
        {"no begin date", TaskDocument(L"<Trigger Type=\"1\" " + plain + L"/>", L"Other"), noBegin},
        {"an empty begin date",
         TaskDocument(TriggerElement(L"Type=\"0\" " + plain, L"<BeginDate/>")), noBegin},
        {"an unreadable begin date",
         TaskDocument(TriggerElement(L"Type=\"0\" " + plain, L"<BeginDate>soon</BeginDate>")),
         noBegin},
        {"30 February",
         TaskDocument(TriggerElement(L"Type=\"0\" " + plain, L"<BeginDate>2024-02-30</BeginDate>")),
         noBegin},
        {"end date before begin date",
         TaskDocument(TriggerElement(L"Type=\"1\" " + plain,
                                     kBegin + L"<EndDate>2023-12-31 23:59</EndDate>")),
         L"Invalid EndDate specified for trigger. EndDate must be greater than begin date."},
        {"week 0",
         TaskDocument(TriggerElement(L"Type=\"4\" " + plain,
                                     kBegin + L"<Week>0</Week><DaysOfWeek>2</DaysOfWeek>")),
         L"Invalid Week specified for trigger."},
        {"week 6",
         TaskDocument(TriggerElement(L"Type=\"4\" " + plain,
                                     kBegin + L"<Week>6</Week><DaysOfWeek>2</DaysOfWeek>")),
         L"Invalid Week specified for trigger."},
        {"weekly on bit 7 only",
         TaskDocument(
             TriggerElement(L"Type=\"2\" " + plain, kBegin + L"<DaysOfWeek>128</DaysOfWeek>")),
         L"Invalid DaysOfWeek specified for trigger."},
        {"monthly by weekday without weekdays",
         TaskDocument(TriggerElement(L"Type=\"4\" " + plain, kBegin + L"<Week>2</Week>")),
         L"Invalid DaysOfWeek specified for trigger."},
        {"days of month 0",
         TaskDocument(
             TriggerElement(L"Type=\"3\" " + plain, kBegin + L"<DaysOfMonth>0</DaysOfMonth>")),
         L"Invalid DaysOfMonth specified for trigger."},
        {"only bit 31 of the days",
         TaskDocument(TriggerElement(L"Type=\"3\" " + plain,
                                     kBegin + L"<DaysOfMonth>-2147483648</DaysOfMonth>")),
         L"Invalid DaysOfMonth specified for trigger."},
        {"the second trigger is refused",
         TaskDocument(TriggerElement(L"Type=\"0\" " + plain) + L"<Trigger Type=\"0\" " + plain +
                      L"/>"),
         noBegin},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        CountedPtr<CZynTaskImpl> task = NewTask();
        const std::wstring held = TaskDocument(TriggerElement(L"Type=\"0\" " + plain));
        ASSERT_EQ(task->SetXml(held), S_OK);
        const ZynTriggerList before = task->GetTriggers();
        const std::wstring heldXml = task->GetXml();
        LogCapture log;
        const Raised raised = RaisedBy([&] { task->SetXml(row.document); });
        const std::wstring message =
            L"CZynTaskImpl::SetXml failed. " + row.reason + L" " + HResultText(E_FAIL) + L".";
        EXPECT_EQ(raised.hr, E_FAIL);
        EXPECT_EQ(WideToUtf8(raised.description), WideToUtf8(message));
        EXPECT_TRUE(log.Contains(CE_SEVERITY_ERROR, L"CZynTaskImpl", message));
        EXPECT_TRUE(task->GetTriggers() == before);
        EXPECT_EQ(WideToUtf8(task->GetXml()), WideToUtf8(heldXml));
    }
}

TEST(TriggerDocument, TextThatIsNotXmlIsRefusedWithTheParsersReason) {
    CountedPtr<CZynTaskImpl> task = NewTask();
    LogCapture log;
    const Raised raised = RaisedBy([&] { task->SetXml(L"<Schedule Name='x'><Task>"); });
    EXPECT_EQ(raised.hr, E_FAIL);
    const std::wstring prefix =
        L"CZynTaskImpl::SetXml failed. Failed to load task xml into XMLDOM. Error ";
    EXPECT_EQ(raised.description.rfind(prefix, 0), 0u) << WideToUtf8(raised.description);
    EXPECT_GT(raised.description.size(), prefix.size() + 2);
    EXPECT_EQ(log.Matching(prefix).size(), 1u);
    EXPECT_TRUE(task->GetXml().empty());
    EXPECT_TRUE(task->GetTaskName().empty());
}

TEST(TriggerDocument, TheNameIsTakenBeforeTheTriggersAreChecked) {
    CountedPtr<CZynTaskImpl> task = NewTask();
    ASSERT_EQ(task->SetXml(TaskDocument(L"", L"First")), S_OK);
    RaisedBy([&] { task->SetXml(TaskDocument(L"<Trigger Type=\"0\"/>", L"Second")); });
    EXPECT_EQ(WideToUtf8(task->GetTaskName()), "Second");
    ASSERT_EQ(task->SetXml(L"<Task/>"), S_OK);  // no Schedule: the name stays
    EXPECT_EQ(WideToUtf8(task->GetTaskName()), "Second");
}

TEST(TriggerDocument, SubNodeValues) {
    XmlDocument document =
        LoadTaskDocument(L"<T><A> -12x</A><B>2024-02-29 23:59:59</B><C>2024-02-30</C><D/></T>");
    const XmlNode root = document.DocumentElement();
    EXPECT_EQ(GetSubNodeValueAsInt(root, L".//A"), -12);
    EXPECT_EQ(GetSubNodeValueAsInt(root, L".//Missing"), 0);
    EXPECT_EQ(GetSubNodeValueAsInt(root, L".//D"), 0);
    EXPECT_EQ(DateText(GetSubNodeValueAsDate(root, L".//B")), "2024-02-29 23:59:59");
    EXPECT_EQ(GetSubNodeValueAsDate(root, L".//C"), 0);
    EXPECT_EQ(GetSubNodeValueAsDate(root, L".//Missing"), 0);
    EXPECT_EQ(GetSubNodeValueAsInt(root, L"not xpath ]["), 0);
    EXPECT_EQ(ReadDecimal(L"-99999999999"), -2147483647 - 1);
    EXPECT_EQ(ReadDecimal(L"2147483648"), 2147483647);
    EXPECT_EQ(ReadDecimal(L"\t+42"), 42);
}

}  // namespace
