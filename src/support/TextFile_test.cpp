#include "support/TextFile.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/Folders.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

using namespace std::string_literals;

struct EncodingRow {
    const char* what;
    std::wstring text;
    UINT codePage;
    std::string bytes;
};

TEST(TextFile, WritesEachEncodingWithItsMarkAndCrLf) {
    const EncodingRow rows[] = {
        {"plain UTF-8", L"a\nb\r\nc\u00E9", CP_ACP, "a\r\nb\r\nc\xC3\xA9"},
        {"UTF-8 with mark", L"\nx", CP_UTF8, "\xEF\xBB\xBF\r\nx"},
        {"UTF-16LE", L"h\ni", CP_UTF16LE, "\xFF\xFEh\0\r\0\n\0i\0"s},
        {"empty, plain", L"", CP_ACP, ""},
        {"empty, UTF-8 mark", L"", CP_UTF8, "\xEF\xBB\xBF"},
        {"lone CR stays", L"a\rb", CP_ACP, "a\rb"},
        {"unknown code page: UTF-16LE", L"x", 1252, "\xFF\xFEx\0"s},
    };
    TempFolder folder;
    LogCapture log;
    for (const EncodingRow& row : rows) {
        SCOPED_TRACE(row.what);
        const std::wstring path = folder / L"doc.xml";
        ASSERT_TRUE(SaveEncodedTextFile(path, row.text, row.codePage));
        EXPECT_EQ(ReadBytes(path), row.bytes);
    }
    // Only the unknown code page is warned about.
    EXPECT_EQ(log.Matching(L"Failed to convert unicode data to multibyte, saving as 16-bit "
                           L"unicode: ")
                  .size(),
              1u);
}

TEST(TextFile, ReadsEachEncodingBackWithBareLineFeeds) {
    const EncodingRow rows[] = {
        {"UTF-16LE mark", L"h\ni", CP_ACP, "\xFF\xFEh\0\r\0\n\0i\0"s},
        {"UTF-16LE mark only", L"", CP_ACP, "\xFF\xFE"},
        {"UTF-16LE odd last byte", L"h", CP_ACP, "\xFF\xFEh\0\x01"s},
        {"UTF-8 mark", L"\u20AC\n", CP_ACP, "\xEF\xBB\xBF\xE2\x82\xAC\r\n"},
        {"plain", L"a\nb\nc\rd", CP_ACP, "a\r\nb\nc\rd"},
        {"empty", L"", CP_ACP, ""},
        {"a zero ends the text", L"ab", CP_ACP, "ab\0cd"s},
        {"UTF-16LE code page without mark", L"ok", CP_UTF16LE, "o\0k\0"s},
    };
    TempFolder folder;
    for (const EncodingRow& row : rows) {
        SCOPED_TRACE(row.what);
        WriteBytes(folder / L"in.xml", row.bytes);
        std::wstring text = L"stale";
        ASSERT_TRUE(ReadTextFile(folder / L"in.xml", text, row.codePage));
        EXPECT_EQ(text, row.text);
    }
}

TEST(TextFile, BadInputFailsWithTheSystemError) {
    TempFolder folder;
    WriteBytes(folder / L"bad.xml", "ok \xC3\x28 not utf-8");
    WriteBytes(folder / L"huge.xml", std::string(kMaxTextFileBytes + 1, 'x'));
    CreateDirectoryPath(folder / L"dir.xml");
    symlink("bad.xml", WideToUtf8(folder / L"link.xml").c_str());
    const struct {
        std::wstring path;
        DWORD error;
    } rows[] = {
        {L"", ERROR_INVALID_PARAMETER},
        {folder / L"missing.xml", ERROR_FILE_NOT_FOUND},
        {folder / L"nofolder/missing.xml", ERROR_PATH_NOT_FOUND},
        {folder / L"bad.xml", ERROR_NO_UNICODE_TRANSLATION},
        {folder / L"huge.xml", ERROR_FILE_INVALID},
        {folder / L"dir.xml", ERROR_FILE_INVALID},
        {folder / L"link.xml", ERROR_FILE_INVALID},
        {folder / std::wstring(300, L'n'), ERROR_FILENAME_EXCED_RANGE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.path));
        std::wstring text = L"untouched";
        SetLastError(0);
        EXPECT_FALSE(ReadTextFile(row.path, text, CP_ACP));
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(text, L"untouched");
    }
    SetLastError(0);
    EXPECT_FALSE(SaveEncodedTextFile(folder / L"dir.xml", L"x", CP_ACP));
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    EXPECT_FALSE(SaveEncodedTextFile(folder / L"nofolder/x.xml", L"x", CP_ACP));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(SaveEncodedTextFile(L"", L"x", CP_ACP));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// A file this process may not read, and a folder it may not write: access denied does not
// clear by itself, so both fail at once with it, without a retry; nothing is left behind.
ZYN_CHILD_ROLE(ReadAndSaveWithoutPermission) {
    LogCapture log;
    const std::wstring folder = Utf8ToWideLossy(args.at(0));
    std::wstring text;
    SetLastError(0);
    const bool read = ReadTextFile(folder + L"/secret.xml", text, CP_ACP);
    const bool readRefused = !read && GetLastError() == ERROR_ACCESS_DENIED;
    SetLastError(0);
    const bool saved = SaveEncodedTextFile(folder + L"/x.xml", L"x", CP_ACP);
    const bool saveRefused = !saved && GetLastError() == ERROR_ACCESS_DENIED;
    return readRefused && saveRefused && log.Matching(L"retries").empty() ? 0 : 1;
}

TEST(TextFile, PermissionRefusalsFailAtOnce) {
    TempFolder folder;
    const std::wstring locked = folder / L"locked";
    ASSERT_TRUE(CreateDirectoryPath(locked));
    WriteBytes(locked + L"/secret.xml", "<x/>");
    chmod(WideToUtf8(locked + L"/secret.xml").c_str(), 0000);
    chmod(WideToUtf8(folder.Path()).c_str(), 0755);
    chmod(WideToUtf8(locked).c_str(), 0555);
    ChildProcess child("ReadAndSaveWithoutPermission", {WideToUtf8(locked)}, true);
    EXPECT_EQ(child.Wait(), 0);
    std::vector<DirectoryEntry> entries;
    ASSERT_EQ(ListDirectory(locked, entries), ERROR_SUCCESS);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, L"secret.xml");
}

std::wstring Filled(wchar_t c) {
    return std::wstring(300'000, c);
}

// Rewrites one file with two alternating contents until killed.
ZYN_CHILD_ROLE(RewriteForever) {
    const std::wstring path = Utf8ToWideLossy(args.at(0));
    for (unsigned i = 0;; ++i) {
        SaveEncodedTextFile(path, Filled(i % 2 == 0 ? L'a' : L'b'), CP_ACP, i % 3 == 0);
    }
}

TEST(TextFile, KilledWriterNeverLeavesATornFile) {
    TempFolder folder;
    const std::wstring path = folder / L"task.xml";
    std::mt19937 random(12345);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        ChildProcess writer("RewriteForever", {WideToUtf8(path)});
        while (!FileExists(path)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        writer.Kill();
        EXPECT_EQ(writer.Wait(), kKilledExitStatus);
        std::wstring text;
        ASSERT_TRUE(ReadTextFile(path, text, CP_ACP));
        EXPECT_TRUE(text == Filled(L'a') || text == Filled(L'b')) << "torn at size " << text.size();
    }
    std::vector<DirectoryEntry> entries;
    ASSERT_EQ(ListDirectory(folder.Path(), entries), ERROR_SUCCESS);
    for (const DirectoryEntry& entry : entries) {
        EXPECT_TRUE(entry.name == L"task.xml" || entry.name.starts_with(L".task.xml."))
            << WideToUtf8(entry.name);
    }
}

}  // namespace
