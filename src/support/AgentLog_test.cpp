#include "support/AgentLog.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "ZynTaskSchedulerLib/AgentLogNames.h"
#include "ZynTaskSchedulerLib/Registry.h"
#include "platform/FileSystem.h"
#include "platform/NamedMutex.h"
#include "platform/ObjectAccess.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"
#include "platform/Wait.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"
#include "support/ChildProcess.h"
#include "support/Folders.h"
#include "support/PrivateSharedMemory.h"
#include "support/ScopedZone.h"
#include "support/TempFolder.h"
#include "support/TempRegistry.h"

namespace {

// The agent log's registry key, filled for one test and removed afterwards.
class LogSettings {
public:
    LogSettings() {
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAgentLogSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &m_key, nullptr);
    }
    ~LogSettings() {
        RegCloseKey(m_key);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kAgentLogSettingsKey);
    }
    void Number(const wchar_t* name, DWORD value) {
        RegSetValueExW(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value));
    }
    void Text(const wchar_t* name, const std::wstring& value) {
        const std::vector<BYTE> data = RegStringData(value);
        RegSetValueExW(m_key, name, 0, REG_SZ, data.data(), static_cast<DWORD>(data.size()));
    }

private:
    HKEY m_key{};
};

class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : m_name(name) { setenv(name, value, 1); }
    ~ScopedVariable() { unsetenv(m_name); }

private:
    const char* m_name;
};

class AgentLogTest : public testing::Test {
protected:
    AgentLogTest() { settings.Text(L"FilePath", folder.Path()); }

    TempRegistry registry;  // first: the settings below live in it

    std::string LogText() {
        const std::wstring path = folder / L"Agent.log";
        return FileExists(path) ? ReadBytes(path) : std::string();
    }

    TempFolder folder;
    LogSettings settings;
};

TEST_F(AgentLogTest, WritesRecordsThatPassTheMask) {
    CAgentLog log;
    EXPECT_TRUE(log.Accepts(1));
    EXPECT_TRUE(log.Accepts(4));
    EXPECT_FALSE(log.Accepts(8));
    EXPECT_FALSE(log.Accepts(32));
    log.Write(4, L"CZynTask", L"kept");
    log.Write(8, L"CZynTask", L"filtered out");
    log.Write(4, nullptr, L"no source");
    log.Write(4, L"CZynTask", L"");
    const std::string text = LogText();
    EXPECT_NE(text.find("<![CDATA[kept]]>"), std::string::npos);
    EXPECT_EQ(text.find("filtered out"), std::string::npos);
    EXPECT_EQ(text.find("no source"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '<') - std::count(text.begin(), text.end(), '!'),
              2);  // one record: <event, </event
}

TEST_F(AgentLogTest, RecordsThatCannotBeWrittenAreCountedInTheNextOneThatIs) {
    const std::wstring logs = folder / L"logs";
    settings.Text(L"FilePath", logs);
    WriteBytes(logs, "a file where the folder should be");
    CAgentLog log;
    log.Write(1, L"CZynTask", L"lost one");
    log.Write(1, L"CZynTask", L"lost two");
    RemoveFile(logs);
    log.Write(1, L"CZynTask", L"written");
    const std::string text = ReadBytes(logs + L"/Agent.log");
    const std::size_t report =
        text.find("<![CDATA[2 records of this process could not be written to the agent log]]>");
    ASSERT_NE(report, std::string::npos) << text;
    EXPECT_LT(report, text.find("<![CDATA[written]]>"));
    EXPECT_EQ(text.find("lost"), std::string::npos);
    log.Write(1, L"CZynTask", L"again");
    const std::string after = ReadBytes(logs + L"/Agent.log");
    EXPECT_EQ(after.find("could not be written"), after.rfind("could not be written"))
        << "reported once";
}

TEST_F(AgentLogTest, OverrideWidensTheMaskOrSuppressesEverything) {
    {
        const ScopedVariable widen(kAgentLogOverrideVariable, "00000008");
        CAgentLog log;
        EXPECT_TRUE(log.Accepts(8));
        log.Write(8, L"S", L"trace passes");
        EXPECT_STREQ(std::getenv(kAgentLogOverrideVariable), "00000008");
    }
    {
        const ScopedVariable suppress(kAgentLogOverrideVariable, "FA000001");
        CAgentLog log;
        EXPECT_FALSE(log.Accepts(1));
        log.Write(1, L"S", L"suppressed error");
        // The masked value is what children inherit.
        EXPECT_STREQ(std::getenv(kAgentLogOverrideVariable), "0A000001");
    }
    const std::string text = LogText();
    EXPECT_NE(text.find("trace passes"), std::string::npos);
    EXPECT_EQ(text.find("suppressed error"), std::string::npos);
}

TEST_F(AgentLogTest, LimitsAreBoundedAndFolderIsCreated) {
    settings.Number(L"MaxSize", 1);
    settings.Number(L"MaxFiles", 0);
    settings.Number(L"Severity", 0x1FF);
    AgentLogLimits limits;
    ASSERT_TRUE(ReadAgentLogLimits(limits));
    EXPECT_EQ(limits.maxSizeKb, 10u);
    EXPECT_EQ(limits.maxFiles, 2u);
    EXPECT_EQ(limits.severityMask, 0xFFu);
    settings.Text(L"FilePath", folder / L"nested/logs/");
    settings.Text(L"FileName", L"Events.txt");
    CAgentLog log;
    EXPECT_EQ(log.FilePath(), folder / L"nested/logs/Events.txt");
    EXPECT_TRUE(log.Accepts(32));
    log.Write(32, L"S", L"debug passes the widened mask");
    EXPECT_NE(ReadBytes(folder / L"nested/logs/Events.txt").find("severity='32'"),
              std::string::npos);
    settings.Number(L"Severity", 0x28);  // trace and debug only
    EXPECT_FALSE(CAgentLog().Accepts(4));
}

TEST_F(AgentLogTest, DateCarriesTheZoneOffset) {
    {
        const ScopedZone zone("EST5EDT,M3.2.0,M11.1.0");
        CAgentLog log;
        log.Write(4, L"S", L"zoned");
    }
    const std::string text = LogText();
    const bool winter = text.find("0000 -05:00'") != std::string::npos;
    const bool summer = text.find("0000 -04:00'") != std::string::npos;
    EXPECT_TRUE(winter || summer) << text;
}

TEST(AgentLogLocation, FallsBackToTheUsersStateFolderAndExpandsVariables) {
    const TempRegistry registry;
    const AgentLogLocation location = ReadAgentLogLocation();
    EXPECT_EQ(location.fileName, L"Agent.log");
    EXPECT_FALSE(location.folder.empty());
    EXPECT_NE(location.folder.back(), L'/');
    const ScopedVariable variable("ZYN_TEST_FOLDER", "/srv/x");
    EXPECT_EQ(ExpandEnvironmentReferences(L"%ZYN_TEST_FOLDER%/logs"), L"/srv/x/logs");
    EXPECT_EQ(ExpandEnvironmentReferences(L"100% %UNSET_ZYN_VARIABLE% done"),
              L"100% %UNSET_ZYN_VARIABLE% done");
}

// Writes `count` records through a log of its own.
ZYN_CHILD_ROLE(WriteAgentRecords) {
    CAgentLog log;
    const int count = std::stoi(args.at(0));
    for (int i = 0; i < count; ++i) {
        log.Write(4, L"Writer",
                  FormatText(256, L"record %d of process %u with some text to fill", i,
                             GetCurrentProcessId())
                      .c_str());
    }
    return 0;
}

// Takes the log mutex for the log folder args[1] and never lets go, until killed; says so by
// creating the file args[0].
ZYN_CHILD_ROLE(HoldAgentLogMutex) {
    const auto access = ObjectAccess::ForFolder(Utf8ToWideLossy(args.at(1)));
    const auto mutex = access ? NamedMutex::Open(kAgentLogMutexName, *access) : nullptr;
    if (!mutex || mutex->Acquire(INFINITE) != WAIT_OBJECT_0) {
        return 1;
    }
    WriteBytes(Utf8ToWideLossy(args.at(0)), "held");
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

// Writes three records through a log of its own that finds no shared memory it may use; says
// in the file args[0] why it could not make such a place.
ZYN_CHILD_ROLE(WriteWithoutSharedMemory) {
    if (const std::string reason = UsePrivateSharedMemory(true); !reason.empty()) {
        WriteBytes(Utf8ToWideLossy(args.at(0)), reason);
        return 3;
    }
    CAgentLog log;
    for (int i = 0; i < 3; ++i) {
        log.Write(4, L"S", FormatText(32, L"record %d", i).c_str());
    }
    return 0;
}

TEST_F(AgentLogTest, FourProcessesRotateWithoutTearingARecord) {
    settings.Number(L"MaxSize", 10);
    settings.Number(L"MaxFiles", 5);
    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (int i = 0; i < 4; ++i) {
        writers.push_back(
            std::make_unique<ChildProcess>("WriteAgentRecords", std::vector<std::string>{"2000"}));
    }
    for (auto& writer : writers) {
        EXPECT_EQ(writer->Wait(), 0);
    }
    // 8,000 records of some 350 bytes fill far more than five files of 10 KB.
    std::vector<DirectoryEntry> files;
    ASSERT_EQ(ListDirectory(folder.Path(), files), ERROR_SUCCESS);
    EXPECT_EQ(files.size(), 5u);
    EXPECT_TRUE(std::any_of(files.begin(), files.end(),
                            [](const DirectoryEntry& file) { return file.name == L"Agent.log"; }));
    for (const DirectoryEntry& file : files) {
        const std::wstring& name = file.name;
        SCOPED_TRACE(WideToUtf8(name));
        EXPECT_TRUE(name == L"Agent.log" ||
                    (name.starts_with(L"Agent") && name.ends_with(L".log") && name.size() > 9));
        const std::string text = ReadBytes(folder / name);
        XmlDocument document;
        std::wstring reason;
        ASSERT_TRUE(document.Load(L"<log>" + Utf8ToWideLossy(text) + L"</log>", reason)) << reason;
        const auto events = document.SelectAll(L"/log/event");
        EXPECT_GT(events.size(), 0u);
        for (const XmlNode& event : events) {
            EXPECT_EQ(event.Attribute(L"source").Text(), L"Writer");
            EXPECT_TRUE(event.Text().starts_with(L"record ")) << WideToUtf8(event.Text());
        }
    }
}

TEST_F(AgentLogTest, AMutexHeldElsewhereCostsRecordsNotTheWriter) {
    const std::wstring marker = folder / L"held.flag";
    ChildProcess holder("HoldAgentLogMutex", {WideToUtf8(marker), WideToUtf8(folder.Path())});
    while (!FileExists(marker)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    CAgentLog log;
    log.Write(4, L"S", L"while another holds the mutex");
    EXPECT_EQ(LogText().find("while another holds the mutex"), std::string::npos);
    holder.Kill();
    holder.Wait();
    log.Write(4, L"S", L"after the holder died");
    const std::string text = LogText();
    EXPECT_NE(text.find("after the holder died"), std::string::npos);
    EXPECT_NE(text.find("1 records of this process could not be written"), std::string::npos);
}

TEST_F(AgentLogTest, WithoutItsSharedObjectsTheLogStillWritesAndSaysSoOnce) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a shared-memory folder of its own";
    }
    const std::wstring reason = folder / L"reason";
    ChildProcess writer("WriteWithoutSharedMemory", {WideToUtf8(reason)});
    const int status = writer.Wait();
    if (status == 3) {
        GTEST_SKIP() << ReadBytes(reason);
    }
    ASSERT_EQ(status, 0);
    const std::string text = LogText();
    for (const char* record : {"record 0", "record 1", "record 2"}) {
        EXPECT_NE(text.find(record), std::string::npos) << record;
    }
    for (const char* object : {"mutex", "change counter"}) {
        const std::string notice = std::string("The agent log's ") + object + " '";
        EXPECT_NE(text.find(notice), std::string::npos) << text;
        EXPECT_EQ(text.find(notice), text.rfind(notice)) << "said once";
    }
}

}  // namespace
