#include "tasks/TriggerDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

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

// The trigger's fields as "Name=value" words, dates as 2024-01-01T10:00:00 (0 for none).
std::string Fields(const CZynTaskTrigger& t) {
    const auto date = [](DATE d) {
        std::string text = d == 0 ? "0" : DateText(d);
        std::replace(text.begin(), text.end(), ' ', 'T');
        return text;
    };
    std::ostringstream out;
    out << "Type=" << t.Type << " Enabled=" << t.Enabled << " Begin=" << date(t.BeginDate)
        << " End=" << date(t.EndDate) << " Interval=" << t.Interval << " Duration=" << t.Duration
        << " Days=" << t.DaysInterval << " Weeks=" << t.WeeksInterval << " DOW=" << t.DaysOfWeek
        << " DOM=" << t.DaysOfMonth << " Months=" << t.MonthsOfYear << " Week=" << t.Week
        << " Next=" << t.NextRunTime << " Window=" << t.BeginRptCycleTime << ","
        << t.EndRptCycleTime << " ";
    return out.str();
}

// One trigger read from a task document: exactly the warnings, in this order, and the fields
// named (each "Name=value" word of `fields` among those Fields gives).
struct ReadRow {
    const char* rule;
    std::wstring trigger;
    std::wstring warnings;  // each ended by "|"
    std::string fields;
    std::string description = "";  // checked when not empty
};

void ExpectRead(const std::vector<ReadRow>& rows) {
    for (const ReadRow& row : rows) {
        SCOPED_TRACE(row.rule);
        LogCapture log;
        CountedPtr<CZynTaskImpl> task = NewTask();
        ASSERT_EQ(task->SetXml(TaskDocument(row.trigger)), S_OK);
        ASSERT_EQ(task->GetTriggers().size(), 1u);
        std::wstring warnings;
        for (const std::wstring& warning : Warnings(log)) {
            warnings += warning + L"|";
        }
        EXPECT_EQ(WideToUtf8(warnings), WideToUtf8(row.warnings));
        const CZynTaskTrigger& trigger = *task->GetTriggers().front();
        const std::string fields = Fields(trigger);
        std::istringstream words(row.fields);
        for (std::string word; words >> word;) {
            EXPECT_NE(fields.find(word + " "), std::string::npos) << word << " not in " << fields;
        }
        if (!row.description.empty()) {
            EXPECT_EQ(WideToUtf8(trigger.Description), row.description);
        }
    }
}

const std::wstring kNoInterval = L"No task Interval specified, defaulting to 0|";
const std::wstring kNoDuration = L"Invalid task Duration specified, defaulting to 0|";
const std::wstring kShortDuration =
    L"Invalid trigger settings. The task duration must be greater than the task interval. Using "
    L"an interval value of 0|";
const std::wstring kNoMonths = L"Invalid task MonthsOfYear specified, defaulting to 4095|";
const std::wstring kNoDays = L"Invalid task DaysInterval specified, defaulting to 1|";
const std::wstring kPlain = L"Interval=\"0\" Duration=\"0\" ";

// A trigger of `type` without repetition, beginning at kBegin, with `content` after it.
std::wstring Plain(int type, const std::wstring& content = L"") {
    return TriggerElement(kPlain + L"Type=\"" + std::to_wstring(type) + L"\"", kBegin + content);
}

TEST(TriggerDocument, ReadsEveryFieldWithItsDefaults) {
    ExpectRead({
        {"daily with everything",
         TriggerElement(L"Type=\"1\" Interval=\"15\" Duration=\"60\" KillAtEnd=\"1\"",
                        kBegin + L"<EndDate>2024-12-31</EndDate><DaysInterval>3</DaysInterval>"),
         L"",
         "Type=1 Enabled=1 Begin=2024-01-01T10:00:00 End=2024-12-31T00:00:00 Interval=15 "
         "Duration=60 Days=3 Next=0 Window=0,0",
         "Every 15 minute(s) from 10:00:00 for 60 minutes every 3 days, starting 01/01/2024 and "
         "ending 12/31/2024"},
        {"monthly by weekday, month/day/year dates",
         TriggerElement(kPlain + L"Type=\"4\"",
                        L"<BeginDate>03/07/2006 08:05</BeginDate><Week>5</Week>"
                        L"<DaysOfWeek>2</DaysOfWeek><MonthsOfYear>5</MonthsOfYear>"),
         L"", "Begin=2006-03-07T08:05:00 Week=5 DOW=2 Months=5"},
        {"elements anywhere below the trigger, extra weekday bits kept",
         TriggerElement(kPlain + L"Type=\"2\"",
                        L"<When><BeginDate>2024-01-01 10:00</BeginDate></When>"
                        L"<Weekly><DaysOfWeek>255</DaysOfWeek></Weekly>"),
         L"Invalid task WeeksInterval specified, defaulting to 1|", "Weeks=1 DOW=255"},
        {"interval and duration missing", TriggerElement(L"Type=\"0\""), kNoInterval + kNoDuration,
         "Interval=0 Duration=0"},
        {"negative interval", TriggerElement(L"Type=\"0\" Interval=\"-5\" Duration=\"10\""),
         L"Invalid task Interval -5 specified, defaulting to 0|", "Interval=0 Duration=10"},
        {"duration equal to the interval",
         TriggerElement(L"Type=\"0\" Interval=\"15\" Duration=\"15\""), L"", "Interval=15"},
        {"duration below the interval",
         TriggerElement(L"Type=\"0\" Interval=\"15\" Duration=\"10\""), kShortDuration,
         "Interval=0 Duration=10"},
        {"no duration keeps the interval", TriggerElement(L"Type=\"0\" Interval=\"15\""),
         kNoDuration, "Interval=15 Duration=0"},
        {"a negative duration compares unsigned",
         TriggerElement(L"Type=\"0\" Interval=\"15\" Duration=\"-1\""), L"",
         "Interval=15 Duration=4294967295"},
        {"numbers as wcstol reads them",
         TriggerElement(L"Type=\" +0\" Interval=\"  +7min\" Duration=\"99999999999\""), L"",
         "Interval=7 Duration=2147483647"},
        {"text without digits reads 0",
         TriggerElement(L"Type=\"0\" Interval=\"abc\" Duration=\"\""), L"", "Interval=0"},
        {"DaysInterval 0", Plain(1, L"<DaysInterval>0</DaysInterval>"), kNoDays, "Days=1"},
        {"DaysInterval missing", Plain(1), kNoDays, "Days=1"},
        {"negative DaysInterval is stored", Plain(1, L"<DaysInterval>-2</DaysInterval>"), L"",
         "Days=-2"},
        {"MonthsOfYear missing", Plain(3, L"<DaysOfMonth>1</DaysOfMonth>"), kNoMonths,
         "Months=4095"},
        {"MonthsOfYear 4096",
         Plain(3, L"<DaysOfMonth>1</DaysOfMonth><MonthsOfYear>4096</MonthsOfYear>"), kNoMonths,
         "Months=4095"},
        {"extra month bits are kept",
         Plain(3, L"<DaysOfMonth>-1</DaysOfMonth><MonthsOfYear>4098</MonthsOfYear>"), L"",
         "Months=4098 DOM=4294967295"},
        {"monthly by weekday without months",
         Plain(4, L"<Week>1</Week><DaysOfWeek>64</DaysOfWeek>"), kNoMonths, "Months=4095"},
        {"once reads no end date", Plain(0, L"<EndDate>2020-01-01</EndDate>"), L"", "End=0"},
        {"idle reads no type settings",
         Plain(5, L"<EndDate>2025-01-01</EndDate><DaysOfWeek>2</DaysOfWeek>"), L"", "End=0 DOW=0",
         "Run when idle"},
        {"an end date equal to the begin date",
         Plain(1, L"<EndDate>2024-01-01 10:00</EndDate><DaysInterval>1</DaysInterval>"), L"",
         "End=2024-01-01T10:00:00"},
        {"an unreadable end date is none",
         Plain(1, L"<EndDate>someday</EndDate><DaysInterval>1</DaysInterval>"), L"", "End=0"},
        {"a negative type reads nothing", L"<Trigger Type=\"-1\" Interval=\"-4\"/>", L"",
         "Type=-1 Enabled=0 Interval=0 Begin=0"},
    });
    for (const wchar_t* value : {L"true", L"0", L"2", L"1", L" 1", L"01", L"1x"}) {
        const bool disables = std::wstring(value).find(L'1') != std::wstring::npos;
        ExpectRead({{"only the number one disables",
                     TriggerElement(kPlain + L"Type=\"0\" Disabled=\"" + value + L"\""), L"",
                     disables ? "Enabled=0" : "Enabled=1"}});
    }
}

// Which documents are refused and why is the corpus's table; here, what a refusal does to the
// task.
TEST(TriggerDocument, RefusalsLeaveTheHeldDocument) {
    struct Row {
        const char* rule;
        std::wstring document;
        std::wstring reason;
    };
    const std::wstring noBegin = L"No BeginDate specified for trigger.";
    const std::wstring unbegun = L"<Trigger Type=\"1\" " + kPlain + L"/>";
    const std::vector<Row> rows = {
        {"no begin date", TaskDocument(unbegun, L"Other"), noBegin},
        {"end date before begin date",
         TaskDocument(Plain(1, L"<EndDate>2023-12-31 23:59</EndDate>")),
         L"Invalid EndDate specified for trigger. EndDate must be greater than begin date."},
        {"the second trigger is refused", TaskDocument(Plain(0) + unbegun), noBegin},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        CountedPtr<CZynTaskImpl> task = NewTask();
        const std::wstring held = TaskDocument(Plain(0));
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
