#include <gtest/gtest.h>

#include <filesystem>

#include "platform/FileSystem.h"
#include "support/TempFolder.h"
#include "support/TextFile.h"
#include "tasks/TaskTestSupport.h"
#include "tasks/ZynTaskImpl.h"

namespace {

// Each parse of this document warns once about its missing Interval.
std::wstring DocumentNamed(const std::wstring& name) {
    return TaskDocument(
        L"<Trigger Type=\"0\" Duration=\"0\"><BeginDate>2024-01-01 10:00</BeginDate></Trigger>",
        name);
}

std::size_t Parses(const LogCapture& log) {
    return log.Matching(L"No task Interval specified").size();
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

class ZynTaskImplFilesTest : public ::testing::Test {
protected:
    CountedPtr<CZynTaskImpl> NewTask() {
        return MakeCounted<CZynTaskImpl>(CountedPtr<IZynTaskEngine>(MakeCounted<FakeEngine>()), 0);
    }

    LogCapture m_log;
    TempFolder m_folder;
    std::wstring m_path = m_folder / L"{6B29FC40-CA47-1067-B31D-00DD010662DA}.xml";
};

TEST_F(ZynTaskImplFilesTest, SavesTheHeldTextAndLoadsItOnlyWhenChanged) {
    CountedPtr<CZynTaskImpl> writer = NewTask();
    ASSERT_EQ(writer->SetXml(DocumentNamed(L"First")), S_OK);
    ASSERT_EQ(writer->SaveXmlToFile(m_path), S_OK);
    std::wstring saved;
    ASSERT_TRUE(ReadTextFile(m_path, saved, CP_ACP));
    EXPECT_EQ(saved, DocumentNamed(L"First"));

    m_log.Clear();
    CountedPtr<CZynTaskImpl> reader = NewTask();
    ASSERT_EQ(reader->LoadXmlFromFile(m_path), S_OK);
    ASSERT_EQ(reader->LoadXmlFromFile(m_path), S_OK);
    EXPECT_EQ(Parses(m_log), 1u);
    EXPECT_EQ(WideToUtf8(reader->GetTaskName()), "First");

    Rewrite(m_path, DocumentNamed(L"Second"));
    ASSERT_EQ(reader->LoadXmlFromFile(m_path), S_OK);
    EXPECT_EQ(Parses(m_log), 2u);
    EXPECT_EQ(WideToUtf8(reader->GetTaskName()), "Second");
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

TEST_F(ZynTaskImplFilesTest, LoadFailures) {
    CountedPtr<CZynTaskImpl> task = NewTask();
    EXPECT_EQ(task->LoadXmlFromFile(m_path), E_FAIL);  // missing

    ASSERT_TRUE(SaveEncodedTextFile(m_path, L"not xml", CP_ACP));
    const Raised raised = RaisedBy([&] { task->LoadXmlFromFile(m_path); });
    EXPECT_EQ(raised.hr, E_FAIL);
    EXPECT_NE(raised.description.find(L"Failed to load task xml into XMLDOM"), std::wstring::npos);

    // A file that vanishes after a document was held keeps the held document.
    ASSERT_EQ(task->SetXml(DocumentNamed(L"Held")), S_OK);
    std::filesystem::remove(WideToUtf8(m_path));
    EXPECT_EQ(task->LoadXmlFromFile(m_path), S_OK);
    EXPECT_EQ(WideToUtf8(task->GetTaskName()), "Held");
}

TEST_F(ZynTaskImplFilesTest, SaveAndDelete) {
    CountedPtr<CZynTaskImpl> task = NewTask();
    ASSERT_EQ(task->SetXml(DocumentNamed(L"Gone")), S_OK);
    EXPECT_EQ(task->SaveXmlToFile(m_folder / L"missing/task.xml"), E_FAIL);
    EXPECT_EQ(task->DeleteTaskFile(m_path), S_OK);  // nothing to delete
    ASSERT_EQ(task->SaveXmlToFile(m_path), S_OK);
    EXPECT_EQ(task->DeleteTaskFile(m_path), S_OK);
    EXPECT_FALSE(std::filesystem::exists(WideToUtf8(m_path)));
}

}  // namespace
