// The scheduler's registry settings: defaults written back, unusable values repaired, and the
// configuration document made of them.
#include "automation/SchedulerSettings.h"

#include <gtest/gtest.h>

#include "automation/AutomationTestSupport.h"
#include "platform/WideText.h"

namespace {

constexpr wchar_t kLibrary[] = L"/opt/zyn/lib/libZynTaskSchedulerLib.so";
constexpr wchar_t kDefaultFolder[] = L"/opt/zyn/lib/Tasks";

std::wstring DocumentFor(const std::wstring& folder, int logging, int pool, int queue) {
    return L"<TaskScheduler WorkFolder='" + folder + L"' LoggingEnabled='" +
           std::to_wstring(logging) + L"' WorkerThreadPoolSize='" + std::to_wstring(pool) +
           L"' MaxExecQueueSize='" + std::to_wstring(queue) + L"'/>";
}

std::wstring ReadSettings() {
    CSchedulerSettings settings;
    EXPECT_EQ(ERROR_SUCCESS, settings.Open());
    settings.ReadNumbers();
    EXPECT_TRUE(settings.ReadWorkFolder(kLibrary));
    return settings.ConfigurationDocument();
}

TEST(SchedulerSettings, AMissingKeyIsCreatedWithEveryDefault) {
    TempRegistry registry;
    EXPECT_EQ(ReadSettings(), DocumentFor(kDefaultFolder, 0, 5, 50));
    EXPECT_EQ(StoredSetting(L"Enable Logging"), NumberValue(0));
    EXPECT_EQ(StoredSetting(L"Execution Queue Size"), NumberValue(50));
    EXPECT_EQ(StoredSetting(L"Thread Pool Size"), NumberValue(5));
    EXPECT_EQ(StoredSetting(L"WorkFolder"), TextValue(kDefaultFolder));
}

TEST(SchedulerSettings, StoredValuesAreUsedAndKept) {
    TempRegistry registry;
    StoreSetting(L"Enable Logging", NumberValue(1));
    StoreSetting(L"Execution Queue Size", NumberValue(7));
    StoreSetting(L"Thread Pool Size", NumberValue(0xFFFFFFFF));  // printed signed
    const StoredValue expandable{REG_EXPAND_SZ, RegStringData(L"$HOME/tasks")};
    StoreSetting(L"WorkFolder", expandable);
    EXPECT_EQ(ReadSettings(), DocumentFor(L"$HOME/tasks", 1, -1, 7));
    EXPECT_EQ(StoredSetting(L"WorkFolder"), expandable);
}

// Each row stores one unusable value; reading replaces it by its default, in the registry too.
struct Repair {
    const wchar_t* name;
    StoredValue stored;
    StoredValue repaired;
};

TEST(SchedulerSettings, UnusableValuesAreReplacedByTheirDefaults) {
    std::vector<BYTE> tooLong = RegStringData(std::wstring(260, L'x'));
    const Repair rows[] = {
        {L"Thread Pool Size", TextValue(L"7"), NumberValue(5)},
        {L"Execution Queue Size", StoredValue{REG_BINARY, {1, 2, 3, 4}}, NumberValue(50)},
        {L"Enable Logging", StoredValue{REG_DWORD, {1, 0}}, NumberValue(0)},
        {L"WorkFolder", StoredValue{REG_SZ, {'/', 0, 't'}}, TextValue(kDefaultFolder)},
        {L"WorkFolder", StoredValue{REG_SZ, {'/', 0, 't', 0}}, TextValue(kDefaultFolder)},
        {L"WorkFolder", NumberValue(3), TextValue(kDefaultFolder)},
        {L"WorkFolder", StoredValue{REG_SZ, tooLong}, TextValue(kDefaultFolder)},
    };
    for (const Repair& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.name) + " stored with " +
                     std::to_string(row.stored.bytes.size()) + " bytes of type " +
                     std::to_string(row.stored.type));
        TempRegistry registry;
        StoreSetting(row.name, row.stored);
        ReadSettings();
        EXPECT_EQ(StoredSetting(row.name), row.repaired);
    }
}

TEST(SchedulerSettings, AnEmptyFolderValueIsTheEmptyFolder) {
    TempRegistry registry;
    StoreSetting(L"WorkFolder", StoredValue{REG_SZ, {}});
    EXPECT_EQ(ReadSettings(), DocumentFor(L"", 0, 5, 50));
}

TEST(SchedulerSettings, TheDefaultFolderNeedsTheLibraryFile) {
    TempRegistry registry;
    CSchedulerSettings settings;
    ASSERT_EQ(ERROR_SUCCESS, settings.Open());
    EXPECT_FALSE(settings.ReadWorkFolder(L""));
    EXPECT_EQ(StoredSetting(L"WorkFolder"), std::nullopt);
    StoreSetting(L"WorkFolder", TextValue(L"/srv/tasks"));
    EXPECT_TRUE(settings.ReadWorkFolder(L""));  // a usable stored folder needs no default
}

TEST(SchedulerSettings, TheDefaultFolderSitsBesideTheLibrary) {
    EXPECT_EQ(DefaultWorkFolder(L"/usr/lib/libZynTaskSchedulerLib.so"), L"/usr/lib/Tasks");
    EXPECT_EQ(DefaultWorkFolder(L"/libZyn.so"), L"/Tasks");
    EXPECT_EQ(DefaultWorkFolder(L"libZyn.so"), L"libZyn.so");
}

TEST(SchedulerSettings, TheFolderIsEscapedInTheDocument) {
    EXPECT_EQ(EscapeXml(L"a\"b&c'd<e>f/\x00e9"), L"a&quot;b&amp;c&apos;d&lt;e&gt;f/\x00e9");
    TempRegistry registry;
    StoreSetting(L"WorkFolder", TextValue(L"/srv/R&D's tasks"));
    EXPECT_EQ(ReadSettings(), DocumentFor(L"/srv/R&amp;D&apos;s tasks", 0, 5, 50));
}

}  // namespace
