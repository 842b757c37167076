#include "tasks/ZynTaskLog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/FileSystem.h"
#include "platform/NamedMutex.h"
#include "platform/ObjectAccess.h"
#include "platform/Path.h"
#include "platform/SystemMessage.h"
#include "platform/Wait.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/Folders.h"
#include "support/TempFolder.h"
#include "tasks/TaskLogEntries.h"
#include "tasks/TaskTestSupport.h"

namespace {

const std::string kNewFileBytes = "<TaskLog Name='None'><Triggers/><TaskHistory/></TaskLog>\r\n";

// An element with its text, or an empty element.
std::string Element(const std::string& tag, const std::string& content) {
    return content.empty() ? "<" + tag + "/>" : "<" + tag + ">" + content + "</" + tag + ">";
}

// The whole log around one Triggers and one TaskHistory content.
std::string LogBytes(const std::string& name, const std::string& triggers,
                     const std::string& history) {
    return "<TaskLog Name=\"" + name + "\">" + Element("Triggers", triggers) +
           Element("TaskHistory", history) + "</TaskLog>";
}

class ZynTaskLogTest : public ::testing::Test {
protected:
    std::wstring LogFolder() const { return m_folder / L"Logs"; }
    std::wstring LogFile() const { return JoinPath(LogFolder(), m_guid + L".xml"); }
    CZynTaskLog Log() const { return CZynTaskLog(LogFolder(), m_guid); }
    std::string Bytes() const { return ReadBytes(LogFile()); }

    bool LoggedFailure(const std::wstring& member, const std::wstring& detail) const {
        return m_log.Contains(CE_SEVERITY_ERROR, L"CZynTaskLog",
                              L"CZynTaskLog::" + member + L" failed." + detail);
    }

    TempFolder m_folder;
    std::wstring m_guid = FreshTaskGuid();
    LogCapture m_log;
};

TEST_F(ZynTaskLogTest, AFirstUpdateCreatesTheFolderAndTheNewFileTextBeforeApplyingItself) {
    // A run time that is no calendar date stops the update after the file was made.
    Log().LogLastRunTime(1e10);
    EXPECT_TRUE(DirectoryExists(LogFolder()));
    EXPECT_EQ(Bytes(), kNewFileBytes);
    EXPECT_TRUE(LoggedFailure(
        L"LogLastRunTime",
        L" Failed to convert date variant time to system time. " + HResultText(E_FAIL) + L"."));

    std::wstring text;
    EXPECT_EQ(Log().ReadLogXml(text), S_OK);
    EXPECT_EQ(WideToUtf8(text), "<TaskLog Name='None'><Triggers/><TaskHistory/></TaskLog>\n");

    // The name is the Name attribute alone, escaped, and the history stays.
    Log().LogName(L"Nightly & weekly \u00e9t\u00e9");
    EXPECT_EQ(Bytes(), LogBytes("Nightly &amp; weekly \xc3\xa9t\xc3\xa9", "", ""));
}

struct TriggerRow {
    const char* rule;
    TriggerSettings settings;
    std::string expected;
};

// The entry of a trigger that was never computed.
std::string Entry(const std::string& type, const std::string& begin, const std::string& end,
                  const std::string& numbers) {
    return "<Trigger>" + Element("Type", type) +
           "<Enabled>true</Enabled><NextRunTime>None</NextRunTime><LastRunTime>None</LastRunTime>" +
           Element("BeginDate", begin) + Element("EndDate", end) +
           "<BeginRptCycleTime>None</BeginRptCycleTime><EndRptCycleTime>None</EndRptCycleTime>"
           "<Description/>" +
           numbers + "</Trigger>";
}

TEST_F(ZynTaskLogTest, EachTriggerIsLoggedWithTheElementsOfItsType) {
    const std::string begin = "01-01-2024 10:00:00";
    const std::vector<TriggerRow> rows{
        {"once",
         {.type = kTriggerOnce},
         Entry("Run Once", begin, "None", "<Interval>0</Interval><Duration>0</Duration>")},
        {"daily",
         {.type = kTriggerDaily, .interval = 15, .duration = 60, .daysInterval = 2},
         Entry("Run Daily", begin, "None",
               "<Interval>15</Interval><Duration>60</Duration><DaysInterval>2</DaysInterval>")},
        {"weekly",
         {.type = kTriggerWeekly, .end = L"2024-06-30", .weeksInterval = 3, .daysOfWeek = 62},
         Entry("Run Weekly", begin, "06-30-2024 00:00:00",
               "<Interval>0</Interval><Duration>0</Duration><WeeksInterval>3</WeeksInterval>"
               "<DaysOfWeek>62</DaysOfWeek>")},
        {"monthly by day, bit 31 set",
         {.type = kTriggerMonthlyDay, .daysOfMonth = 0x80000001},
         Entry("Run On Day In Month", begin, "None",
               "<Interval>0</Interval><Duration>0</Duration>"
               "<DaysOfMonth>-2147483647</DaysOfMonth><MonthsOfYear>4095</MonthsOfYear>")},
        {"monthly by weekday",
         {.type = kTriggerMonthlyDow, .daysOfWeek = 2, .monthsOfYear = 1, .week = 5},
         Entry("Run On Day In Week In Month", begin, "None",
               "<Interval>0</Interval><Duration>0</Duration><Week>5</Week>"
               "<DaysOfWeek>2</DaysOfWeek><MonthsOfYear>1</MonthsOfYear>")},
        {"type 6, a duration past 2^31 minutes",
         {.type = 6, .duration = 0x80000000u, .daysInterval = 9},
         Entry("Run Once", begin, "None",
               "<Interval>0</Interval><Duration>-2147483648</Duration>")},
        {"negative type",
         {.type = -1, .weeksInterval = 9},
         Entry("", begin, "None", "<Interval>0</Interval><Duration>0</Duration>")},
    };
    for (const TriggerRow& row : rows) {
        SCOPED_TRACE(row.rule);
        Log().LogTaskStatus({MakeTrigger(row.settings)});
        EXPECT_EQ(Bytes(), LogBytes("None", row.expected, ""));
    }
    EXPECT_TRUE(m_log.Matching(L"failed").empty());
}

TEST_F(ZynTaskLogTest, ComputedDatesStateAndDescriptionAreLogged) {
    CountedPtr<CZynTaskTrigger> trigger = MakeTrigger(
        {.type = kTriggerDaily, .begin = L"2024-03-01 08:00", .interval = 30, .duration = 120});
    trigger->Enabled = FALSE;
    trigger->LastRunTime = DateOf(L"2024-03-07 14:05:09");
    trigger->NextRunTime = DateOf(L"2024-03-07 14:30");
    trigger->BeginRptCycleTime = DateOf(L"2024-03-07 08:00");
    trigger->EndRptCycleTime = DateOf(L"2024-03-07 10:00");
    trigger->Description = L"Every 30 minutes <& more>";
    Log().LogTaskStatus({trigger});
    EXPECT_EQ(Bytes(), LogBytes("None",
                                "<Trigger><Type>Run Daily</Type><Enabled>false</Enabled>"
                                "<NextRunTime>03-07-2024 14:30:00</NextRunTime>"
                                "<LastRunTime>03-07-2024 14:05:09</LastRunTime>"
                                "<BeginDate>03-01-2024 08:00:00</BeginDate><EndDate>None</EndDate>"
                                "<BeginRptCycleTime>03-07-2024 08:00:00</BeginRptCycleTime>"
                                "<EndRptCycleTime>03-07-2024 10:00:00</EndRptCycleTime>"
                                "<Description>Every 30 minutes &lt;&amp; more&gt;</Description>"
                                "<Interval>30</Interval><Duration>120</Duration>"
                                "<DaysInterval>1</DaysInterval></Trigger>",
                                ""));
}

TEST_F(ZynTaskLogTest, TriggersAreReplacedAsAWholeInTheirPlaceAndMissingElementsAdded) {
    Log().LogLastRunTime(DateOf(L"2024-03-07 14:05:09"));
    Log().LogTaskStatus({MakeTrigger({.type = 7}), MakeTrigger({.type = 8})});
    const std::string history = "<LastRunTime>03-07-2024 14:05:09</LastRunTime>";
    const std::string once = Entry("Run Once", "01-01-2024 10:00:00", "None",
                                   "<Interval>0</Interval><Duration>0</Duration>");
    EXPECT_EQ(Bytes(), LogBytes("None", once + once, history));

    Log().LogTaskStatus({});
    EXPECT_EQ(Bytes(), LogBytes("None", "", history));

    // A log whose Triggers or TaskHistory element was dropped gets a new one at the end. (Which
    // run times the history keeps, and in which order, is the concurrency test's.)
    WriteBytes(LogFile(), "<TaskLog Name='x'><TaskHistory/></TaskLog>");
    Log().LogTaskStatus({});
    EXPECT_EQ(Bytes(), "<TaskLog Name=\"x\"><TaskHistory/><Triggers/></TaskLog>");
    WriteBytes(LogFile(), "<TaskLog Name='x'><Triggers/></TaskLog>");
    Log().LogLastRunTime(0);
    EXPECT_EQ(Bytes(),
              "<TaskLog Name=\"x\"><Triggers/><TaskHistory><LastRunTime>None</LastRunTime>"
              "</TaskHistory></TaskLog>");
    EXPECT_TRUE(m_log.Matching(L"failed").empty());
}

TEST(FormatLogDateTest, DatesAreMonthFirstAndNoneUpToDayZero) {
    const struct {
        DATE date;
        const char* text;
    } rows[] = {
        {0, "None"},
        {-2.5, "None"},
        {1e-12, "None"},  // within the date tolerance of day zero
        {1.0, "12-31-1899 00:00:00"},
        {45358.58691, "03-07-2024 14:05:09"},  // a fraction of a second past 14:05:09
        {45358.5 + 0.49 / 86400, "03-07-2024 12:00:00"},
        {2958465.999988426, "12-31-9999 23:59:59"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(WideToUtf8(FormatLogDate(row.date)), row.text) << "date " << row.date;
    }
    const Raised raised = RaisedBy([] { FormatLogDate(3e6); });
    EXPECT_EQ(raised.hr, E_FAIL);
    EXPECT_EQ(raised.description,
              L"Failed to convert date variant time to system time. " + HResultText(E_FAIL));
}

TEST_F(ZynTaskLogTest, ReadingAMissingLogFailsAndCreatesNothing) {
    std::wstring text = L"untouched";
    EXPECT_EQ(Log().ReadLogXml(text), E_FAIL);
    EXPECT_EQ(WideToUtf8(text), "untouched");
    EXPECT_FALSE(FileExists(LogFile()));
    EXPECT_EQ(CZynTaskLog(L"", m_guid).ReadLogXml(text), E_FAIL);
    EXPECT_EQ(CZynTaskLog(LogFolder(), L"").ReadLogXml(text), E_FAIL);
    EXPECT_TRUE(m_log.Matching(L"CZynTaskLog").empty());
}

TEST_F(ZynTaskLogTest, ALogThatIsNoLogDocumentFailsItsUpdatesAndIsLeftAsItIs) {
    const struct {
        const char* rule;
        std::string content;
        const wchar_t* nameFailure;     // null: LogName succeeds
        const wchar_t* updateFailure;   // for LogTaskStatus and LogLastRunTime; null: they work
        const wchar_t* triggerFailure;  // LogTaskStatus alone, when it differs
    } rows[] = {
        {"truncated", "<TaskLog Name='x'><Triggers/><TaskHis",
         L" Failed to load task xml into XMLDOM. Error ",
         L" Failed to load task xml into XMLDOM. Error ", nullptr},
        {"empty", "", L" Failed to load task xml into XMLDOM. Error ",
         L" Failed to load task xml into XMLDOM. Error ", nullptr},
        {"another document", "<Other Name='x'/>", L" Failed to find Name node. ",
         L" Failed to find TaskLog node. ", nullptr},
        {"no name", "<TaskLog><Triggers/><TaskHistory/></TaskLog>", L" Failed to find Name node. ",
         nullptr, nullptr},
        {"triggers nested deeper", "<TaskLog Name='x'><Old><Triggers/></Old></TaskLog>", nullptr,
         nullptr, L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rule);
        m_log.Clear();
        CreateDirectoryPath(LogFolder());
        WriteBytes(LogFile(), row.content);
        const auto expectUpdate = [&](const wchar_t* member, const wchar_t* failure,
                                      const std::function<void()>& update) {
            SCOPED_TRACE(WideToUtf8(member));
            const std::string before = Bytes();
            update();
            const std::wstring message = std::wstring(L"CZynTaskLog::") + member + L" failed.";
            const std::vector<LogRecord> failures = m_log.Matching(message);
            if (failure == nullptr) {
                EXPECT_TRUE(failures.empty());
                EXPECT_NE(Bytes(), before);
                return;
            }
            ASSERT_EQ(failures.size(), 1u);
            EXPECT_EQ(failures[0].severity, CE_SEVERITY_ERROR);
            EXPECT_EQ(WideToUtf8(failures[0].source), "CZynTaskLog");
            EXPECT_TRUE(failures[0].message.starts_with(message + failure))
                << WideToUtf8(failures[0].message);
            EXPECT_EQ(Bytes(), before);
        };
        expectUpdate(L"LogName", row.nameFailure, [&] { Log().LogName(L"New"); });
        expectUpdate(L"LogTaskStatus",
                     row.triggerFailure != nullptr ? row.triggerFailure : row.updateFailure,
                     [&] { Log().LogTaskStatus({MakeTrigger({})}); });
        expectUpdate(L"LogLastRunTime", row.updateFailure, [&] { Log().LogLastRunTime(45000); });
    }
}

TEST_F(ZynTaskLogTest, AFolderThatCannotBeMadeIsReportedAndEveryUpdateFails) {
    WriteBytes(m_folder / L"file", "not a folder");
    const std::wstring folder = JoinPath(m_folder / L"file", L"Logs");
    CZynTaskLog log(folder, m_guid);
    EXPECT_TRUE(m_log.Contains(CE_SEVERITY_ERROR, L"CZynTaskLog",
                               L"Failed to create log folder '" + folder + L"', error: " +
                                   SystemMessageText(ERROR_ALREADY_EXISTS) + L" (0x000000B7)"));

    log.LogName(L"x");
    log.LogTaskStatus({});
    log.LogLastRunTime(45000);
    for (const wchar_t* member : {L"LogName", L"LogTaskStatus", L"LogLastRunTime"}) {
        EXPECT_TRUE(LoggedFailure(
            member, L" Filename for task log file not set. " + HResultText(E_FAIL) + L"."))
            << WideToUtf8(member);
    }
    std::wstring text;
    EXPECT_EQ(log.ReadLogXml(text), E_FAIL);
}

// Takes the mutex of the task args[1] whose log folder is args[0] and never lets go, until
// killed; says so by creating the file args[2].
ZYN_CHILD_ROLE(HoldTaskLogMutex) {
    const auto access = ObjectAccess::ForFolder(Utf8ToWideLossy(args.at(0)));
    const auto mutex =
        access ? NamedMutex::Open(L"LogMutex" + Utf8ToWideLossy(args.at(1)), *access) : nullptr;
    if (!mutex || mutex->Acquire(0) != WAIT_OBJECT_0) {
        return 1;
    }
    WriteBytes(Utf8ToWideLossy(args.at(2)), "held");
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

TEST_F(ZynTaskLogTest, AnUpdateSkipsAMutexHeldElsewhereAndTheNextOneWrites) {
    ASSERT_TRUE(CreateDirectoryPath(LogFolder()));
    const std::wstring marker = m_folder / L"held";
    ChildProcess holder("HoldTaskLogMutex",
                        {WideToUtf8(LogFolder()), WideToUtf8(m_guid), WideToUtf8(marker)});
    ASSERT_TRUE(Eventually([&] { return FileExists(marker); }))
        << "the holder never took the mutex";
    Log().LogName(L"while held");
    EXPECT_FALSE(FileExists(LogFile()));
    EXPECT_EQ(
        m_log.Matching(L"CZynTaskLog::LogName failed. The task log mutex is held elsewhere").size(),
        1u);

    holder.Kill();
    holder.Wait();
    Log().LogName(L"next");
    EXPECT_NE(Bytes().find("Name=\"next\""), std::string::npos) << Bytes();
}

}  // namespace
