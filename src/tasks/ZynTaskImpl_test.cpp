#include "tasks/ZynTaskImpl.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/SystemMessage.h"
#include "support/TempFolder.h"
#include "support/TextFile.h"
#include "tasks/TaskTestSupport.h"
#include "tasks/TriggerDocument.h"

namespace {

const std::wstring kGuid = L"{6B29FC40-CA47-1067-B31D-00DD010662DA}";

// A trigger of `type` at `begin`, a daily one every day.
std::wstring Trigger(int type, const wchar_t* begin = L"2024-01-01 10:00",
                     const std::wstring& extra = L"") {
    return L"<Trigger Type=\"" + std::to_wstring(type) + L"\" Interval=\"0\" Duration=\"0\"" +
           extra + L"><BeginDate>" + begin + L"</BeginDate>" +
           (type == 1 ? L"<DaysInterval>1</DaysInterval>" : L"") + L"</Trigger>";
}
std::wstring Once(const wchar_t* begin, const std::wstring& extra = L"") {
    return Trigger(0, begin, extra);
}

class ZynTaskImplTest : public ::testing::Test {
protected:
    CountedPtr<CZynTaskImpl> NewTask(LONG taskLogFlag = 0) {
        return MakeCounted<CZynTaskImpl>(CountedPtr<IZynTaskEngine>(m_engine), taskLogFlag,
                                         m_logWriter);
    }

    CountedPtr<FakeEngine> m_engine = MakeCounted<FakeEngine>();
    RecordingLogWriter m_logWriter;
};

TEST_F(ZynTaskImplTest, GetXmlWritesTheDescriptionsAndKeepsTheHeldText) {
    CountedPtr<CZynTaskImpl> task = NewTask();
    EXPECT_TRUE(task->GetXml().empty());
    const std::wstring text = TaskDocument(Once(L"2024-01-01 10:00", L" Description=\"stale\"") +
                                           Trigger(1, L"2024-01-02 08:00"));
    ASSERT_EQ(task->SetXml(text), S_OK);
    const std::wstring xml = task->GetXml();
    const XmlDocument written = LoadTaskDocument(xml);
    const std::vector<XmlNode> triggers = TriggerElements(written);
    ASSERT_EQ(triggers.size(), 2u);
    EXPECT_EQ(WideToUtf8(triggers[0].Attribute(L"Description").Text()),
              "At 10:00:00 on 01/01/2024");
    EXPECT_EQ(WideToUtf8(triggers[1].Attribute(L"Description").Text()),
              "At 08:00:00 every day, starting 01/02/2024");
    EXPECT_EQ(WideToUtf8(triggers[1].Attribute(L"Type").Text()), "1");
    EXPECT_EQ(xml, task->GetXml());
    EXPECT_NE(text.find(L"stale"), std::wstring::npos);
    EXPECT_EQ(xml.find(L"stale"), std::wstring::npos);
}

TEST_F(ZynTaskImplTest, TheIdentityIsSetOnceAndMustBeAGuid) {
    CountedPtr<CZynTaskImpl> task = NewTask();
    LogCapture log;
    const Raised notAGuid = RaisedBy([&] { task->SetGuid(L"{not-a-guid}"); });
    EXPECT_EQ(notAGuid.hr, E_FAIL);
    EXPECT_EQ(WideToUtf8(notAGuid.description),
              "CZynTaskImpl::SetGuid failed. Parameter {not-a-guid} is not a valid GUID. " +
                  WideToUtf8(HResultText(E_FAIL)) + ".");
    EXPECT_TRUE(task->GetGuid().empty());

    const std::wstring lowerCase = L"{6b29fc40-ca47-1067-b31d-00dd010662da}";
    EXPECT_EQ(task->SetGuid(lowerCase), S_OK);
    EXPECT_EQ(task->GetGuid(), lowerCase);  // stored as given
    const Raised again = RaisedBy([&] { task->SetGuid(kGuid); });
    EXPECT_EQ(again.hr, E_ACCESSDENIED);
    EXPECT_EQ(WideToUtf8(again.description),
              "CZynTaskImpl::SetGuid failed. Cannot set task's GUID more than once. " +
                  WideToUtf8(HResultText(E_ACCESSDENIED)) + ".");
    EXPECT_EQ(task->GetGuid(), lowerCase);
}

TEST_F(ZynTaskImplTest, TiesKeepTheEarlierTrigger) {
    CountedPtr<CZynTaskImpl> task = NewTask();
    ASSERT_EQ(task->SetXml(TaskDocument(Once(L"2024-01-01 10:00") + Once(L"2024-01-01 10:00"))),
              S_OK);
    const ZynTriggerList& triggers = task->GetTriggers();
    const DATE begin = triggers[0]->BeginDate;
    const DATE second = 1.0 / 86'400;
    struct Row {
        const char* rule;
        DATE first;
        DATE second;
        LONG index;
    };
    for (const Row& row : std::vector<Row>{{"the same second", begin, begin, 0},
                                           {"second a second later", begin, begin + second, 0},
                                           {"second a second earlier", begin, begin - second, 1}}) {
        SCOPED_TRACE(row.rule);
        triggers[0]->BeginDate = row.first;
        triggers[1]->BeginDate = row.second;
        const DATE next = NextTaskRunAfter(*task, DateOf(L"2024-01-01 09:00"));
        EXPECT_EQ(CompareDates(next, triggers[row.index]->NextRunTime), 0);
        EXPECT_EQ(task->GetNextTriggerIndex(), row.index);
    }
}

TEST_F(ZynTaskImplTest, DisabledIdleAndNegativeTriggersAreSkipped) {
    CountedPtr<CZynTaskImpl> task = NewTask();
    ASSERT_EQ(task->SetXml(TaskDocument(Trigger(1, L"2024-01-01 08:00", L" Disabled=\"1\"") +
                                        Trigger(5) + Trigger(6) + Trigger(7) +
                                        L"<Trigger Type=\"-3\"/>" + Once(L"2024-01-05 10:00"))),
              S_OK);
    const ZynTriggerList& triggers = task->GetTriggers();
    const DATE last = DateOf(L"2024-01-02 09:00");
    EXPECT_EQ(DateText(NextTaskRunAfter(*task, last)), "2024-01-05 10:00:00");
    EXPECT_EQ(task->GetNextTriggerIndex(), 5);
    EXPECT_EQ(triggers[0]->LastRunTime, 0);  // disabled: untouched
    EXPECT_EQ(triggers[0]->NextRunTime, 0);
    EXPECT_EQ(CompareDates(triggers[1]->LastRunTime, last), 0);  // idle: enabled, given no run
    EXPECT_EQ(triggers[1]->NextRunTime, 0);
    EXPECT_EQ(triggers[4]->LastRunTime, 0);  // negative type: ignored

    triggers[5]->Enabled = FALSE;
    EXPECT_EQ(NextTaskRunAfter(*task, last), 0);
    // The index reads what the last computations left, enabled or not.
    EXPECT_EQ(task->GetNextTriggerIndex(), 5);
    triggers[5]->NextRunTime = 0;
    EXPECT_EQ(task->GetNextTriggerIndex(), -1);

    // An idle trigger keeps the run time it was given; only a later one counts.
    triggers[1]->NextRunTime = last - 1;
    EXPECT_EQ(NextTaskRunAfter(*task, last), 0);
    EXPECT_EQ(task->GetNextTriggerIndex(), 1);
    triggers[1]->NextRunTime = last + 1;
    EXPECT_EQ(CompareDates(NextTaskRunAfter(*task, last), last + 1), 0);
}

TEST_F(ZynTaskImplTest, TheTaskLogIsWrittenWhileTheEngineHoldsItsFolderWithLogging) {
    CountedPtr<CZynTaskImpl> task = NewTask(1);
    ASSERT_EQ(task->SetGuid(kGuid), S_OK);
    ASSERT_EQ(task->SetXml(TaskDocument(Once(L"2024-01-05 10:00"), L"Nightly")), S_OK);
    EXPECT_EQ(m_logWriter.names, std::vector<std::wstring>{JoinPath(L"/work/tasks", L"Logs") +
                                                           L"|" + kGuid + L"|Nightly"});
    ASSERT_EQ(m_logWriter.statuses.size(), 1u);
    EXPECT_EQ(m_logWriter.statuses[0], std::make_pair(std::size_t{1}, DATE{0}));

    const DATE next = NextTaskRunAfter(*task, DateOf(L"2024-01-01"));
    ASSERT_EQ(m_logWriter.statuses.size(), 2u);
    EXPECT_EQ(CompareDates(m_logWriter.statuses[1].second, next), 0);
    EXPECT_EQ(m_logWriter.names.size(), 1u);
    NextTaskRunAfter(*task, DateOf(L"2024-01-02"));  // the same run: nothing changed to write
    EXPECT_EQ(m_logWriter.statuses.size(), 2u);
    NextTaskRunAfter(*task, DateOf(L"2024-01-06"));  // no run any more
    ASSERT_EQ(m_logWriter.statuses.size(), 3u);
    EXPECT_EQ(m_logWriter.statuses[2].second, 0);

    RaisedBy([&] { task->SetXml(L"<broken"); });
    EXPECT_EQ(m_logWriter.names.size(), 1u);
    EXPECT_EQ(m_logWriter.statuses.size(), 3u);
}

TEST_F(ZynTaskImplTest, NoTaskLogWithoutFlagFolderOrLogging) {
    struct Row {
        const char* rule;
        LONG flag;
        bool holdsLock;
        bool loggingEnabled;
    };
    for (const Row& row : std::vector<Row>{{"flag off", 0, true, true},
                                           {"folder held elsewhere", 1, false, true},
                                           {"logging off", 1, true, false}}) {
        SCOPED_TRACE(row.rule);
        m_engine->holdsLock = row.holdsLock;
        m_engine->loggingEnabled = row.loggingEnabled;
        m_engine->questions = 0;
        CountedPtr<CZynTaskImpl> task = NewTask(row.flag);
        ASSERT_EQ(task->SetXml(TaskDocument(Once(L"2024-01-05 10:00"))), S_OK);
        NextTaskRunAfter(*task, DateOf(L"2024-01-01"));
        EXPECT_TRUE(m_logWriter.names.empty());
        EXPECT_TRUE(m_logWriter.statuses.empty());
        if (row.flag == 0) {
            EXPECT_EQ(m_engine->questions, 0);  // the engine is not even asked
        }
    }
}

// Each parse of this document warns once about its missing Interval.
std::wstring DocumentNamed(const std::wstring& name) {
    return TaskDocument(
        L"<Trigger Type=\"0\" Duration=\"0\"><BeginDate>2024-01-01 10:00</BeginDate></Trigger>",
        name);
}

std::int64_t ModifiedAt(const std::wstring& path) {
    FileStatus status;
    EXPECT_EQ(QueryFileStatus(path, status), 0u);
    return status.modifiedNanoseconds;
}

// Rewrites the file until the file system shows a later write time (its clock is coarse).
void Rewrite(const std::wstring& path, const std::wstring& text) {
    const std::int64_t before = ModifiedAt(path);
    for (int attempt = 0; attempt < 5000 && ModifiedAt(path) <= before; ++attempt) {
        Sleep(1);
        ASSERT_TRUE(SaveEncodedTextFile(path, text, CP_ACP));
    }
    ASSERT_GT(ModifiedAt(path), before);
}

class ZynTaskImplFilesTest : public ZynTaskImplTest {
protected:
    std::size_t Parses() const { return m_log.Matching(L"No task Interval specified").size(); }

    LogCapture m_log;
    TempFolder m_folder;
    std::wstring m_path = m_folder / (kGuid + L".xml");
};

TEST_F(ZynTaskImplFilesTest, SavesTheHeldTextAndLoadsItOnlyWhenChanged) {
    CountedPtr<CZynTaskImpl> writer = NewTask();
    ASSERT_EQ(writer->SetXml(DocumentNamed(L"First")), S_OK);
    EXPECT_EQ(writer->SaveXmlToFile(m_folder / L"missing/task.xml"), E_FAIL);
    ASSERT_EQ(writer->SaveXmlToFile(m_path), S_OK);
    std::wstring saved;
    ASSERT_TRUE(ReadTextFile(m_path, saved, CP_ACP));
    EXPECT_EQ(saved, DocumentNamed(L"First"));

    m_log.Clear();
    CountedPtr<CZynTaskImpl> reader = NewTask();
    ASSERT_EQ(reader->LoadXmlFromFile(m_path), S_OK);
    ASSERT_EQ(reader->LoadXmlFromFile(m_path), S_OK);
    EXPECT_EQ(Parses(), 1u);
    EXPECT_EQ(WideToUtf8(reader->GetTaskName()), "First");
    Rewrite(m_path, DocumentNamed(L"Second"));
    ASSERT_EQ(reader->LoadXmlFromFile(m_path), S_OK);
    EXPECT_EQ(Parses(), 2u);
    EXPECT_EQ(WideToUtf8(reader->GetTaskName()), "Second");

    EXPECT_EQ(writer->DeleteTaskFile(m_path), S_OK);
    EXPECT_FALSE(std::filesystem::exists(WideToUtf8(m_path)));
    EXPECT_EQ(writer->DeleteTaskFile(m_path), S_OK);  // nothing to delete
    // A file that vanished after a document was held keeps the held document.
    EXPECT_EQ(reader->LoadXmlFromFile(m_path), S_OK);
    EXPECT_EQ(WideToUtf8(reader->GetTaskName()), "Second");
    EXPECT_EQ(NewTask()->LoadXmlFromFile(m_path), E_FAIL);  // missing, nothing held

    ASSERT_TRUE(SaveEncodedTextFile(m_path, L"not xml", CP_ACP));
    const Raised raised = RaisedBy([&] { reader->LoadXmlFromFile(m_path); });
    EXPECT_EQ(raised.hr, E_FAIL);
    EXPECT_NE(raised.description.find(L"Failed to load task xml into XMLDOM"), std::wstring::npos);
}

TEST_F(ZynTaskImplFilesTest, IsFileChangedTracksTheLastWriteTime) {
    CountedPtr<CZynTaskImpl> task = NewTask();
    EXPECT_FALSE(task->IsFileChanged(m_path));  // missing
    ASSERT_TRUE(SaveEncodedTextFile(m_path, L"<a/>", CP_ACP));
    EXPECT_TRUE(task->IsFileChanged(m_path));
    EXPECT_FALSE(task->IsFileChanged(m_path));
    Rewrite(m_path, L"<b/>");
    EXPECT_TRUE(task->IsFileChanged(m_path));
    EXPECT_FALSE(task->IsFileChanged(m_folder.Path()));  // a folder is no document
    // Nor is a link, where the system lets a test make one (Windows asks for a privilege).
    const std::wstring link = m_folder / L"link.xml";
    std::error_code refused;
    std::filesystem::create_symlink(WideToUtf8(m_path), WideToUtf8(link), refused);
    if (!refused) {
        EXPECT_FALSE(NewTask()->IsFileChanged(link));
    }
}

}  // namespace
