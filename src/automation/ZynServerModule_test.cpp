// The server module: the registry content of a registration, re-registration, what
// unregistration removes and keeps, the class objects of the map, and the unload answer.
#include "automation/ZynServerModule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "automation/AutomationTestSupport.h"
#include "automation/ZynTasks.h"
#include "platform/WideText.h"
#include "support/ClassFactory.h"
#include "support/ModuleLocks.h"

namespace {

constexpr wchar_t kLibrary[] = L"/opt/zyn/lib/libZynTaskSchedulerLib.so";
constexpr wchar_t kSchedulerClass[] = L"CLSID\\{2C343ED8-6A4C-46F8-82E4-85B2130821A5}";
constexpr wchar_t kLibraryIdentity[] = L"{1090FD27-D21A-4284-9AA0-BA12E29C4B6A}";

// Every key and value of a tree, one line each: "key" for a key, "key | name = text" for a
// string value ("@" is the default value), "key | name : type" for any other.
void DumpKey(HKEY parent, const std::wstring& path, std::set<std::wstring>& lines) {
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(parent, path, KEY_READ));
    lines.insert(path);
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[2048];
        DWORD size = sizeof(data);
        DWORD type = 0;
        if (RegEnumValueW(key.Get(), index, name, &nameLength, nullptr, &type, data, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        const std::wstring valueName = nameLength == 0 ? L"@" : name;
        const auto text = RegStringText(data, size);
        lines.insert(path + L" | " + valueName +
                     (type == REG_SZ && text ? L" = " + *text : L" : " + std::to_wstring(type)));
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key.Get(), index, name, &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            break;
        }
        DumpKey(parent, path.empty() ? name : path + L"\\" + name, lines);
    }
}

std::set<std::wstring> Dump(HKEY tree) {
    std::set<std::wstring> lines;
    DumpKey(tree, L"", lines);
    lines.erase(L"");
    return lines;
}

bool HasKey(HKEY tree, const std::wstring& path) {
    CRegistryKey key;
    return key.Open(tree, path, KEY_READ) == ERROR_SUCCESS;
}

void SetText(HKEY tree, const std::wstring& path, const wchar_t* name, const std::wstring& text) {
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(tree, path, KEY_WRITE));
    ASSERT_EQ(ERROR_SUCCESS, key.SetText(name, text));
}

// How many of `lines` start with `prefix` and hold `part`.
std::size_t CountOf(const std::set<std::wstring>& lines, const std::wstring& prefix,
                    const std::wstring& part) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::wstring& line) {
        return line.starts_with(prefix) && line.find(part) != std::wstring::npos;
    });
}

TEST(ZynServerRegistration, WritesTheClassesTypeLibraryAndInterfaces) {
    TempRegistry registry;
    ASSERT_EQ(S_OK, CZynServerModule::RegisterServer(kLibrary));
    const std::set<std::wstring> lines = Dump(HKEY_CLASSES_ROOT);
    const std::wstring clsid = std::wstring(kSchedulerClass).substr(6);
    const std::wstring server = std::wstring(kSchedulerClass) + L"\\InprocServer32";
    const std::wstring version = L"TypeLib\\" + std::wstring(kLibraryIdentity) + L"\\1.0";
    const std::wstring task = L"Interface\\{F254E0C8-4E06-46A1-A049-770B7559C767}";
    for (const std::wstring& line : {
             server + L" | @ = " + kLibrary,
             server + L" | ThreadingModel = Free",
             std::wstring(kSchedulerClass) + L"\\ProgID | @ = Kalvane.ZynTaskScheduler.1",
             std::wstring(kSchedulerClass) + L"\\TypeLib | @ = " + kLibraryIdentity,
             std::wstring(kSchedulerClass) +
                 L"\\VersionIndependentProgID | @ = Kalvane.ZynTaskScheduler",
             std::wstring(L"Kalvane.ZynTaskScheduler\\CLSID | @ = ") + clsid,
             std::wstring(L"Kalvane.ZynTaskScheduler\\CurVer | @ = Kalvane.ZynTaskScheduler.1"),
             std::wstring(L"Kalvane.ZynTaskScheduler.1\\CLSID | @ = ") + clsid,
             version + L" | @ = ZynTaskSchedulerLib 1.0 Type Library",
             version + L"\\0\\linux | @ = " + kLibrary,
             version + L"\\HELPDIR | @ = /opt/zyn/lib",
             task + L" | @ = IZynTask",
             task + L"\\TypeLib | @ = " + kLibraryIdentity,
             task + L"\\TypeLib | Version = 1.0",
         }) {
        EXPECT_TRUE(lines.count(line)) << WideToUtf8(line);
    }
    // One key per class with the library as its server; six interfaces.
    EXPECT_EQ(CountOf(lines, L"CLSID\\", L"\\InprocServer32 | @ = "),
              CZynServerModule::ObjectMap().size());
    EXPECT_EQ(CountOf(lines, L"Interface\\", L"\\TypeLib | Version"), 6u);

    CLSID found{};
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"Kalvane.ZynTasks", &found));
    EXPECT_EQ(found, CLSID_ZynTasks);
    EXPECT_EQ(S_OK, CLSIDFromProgID(kProgIdZynTask, &found));
    EXPECT_EQ(found, CLSID_ZynTask);
}

TEST(ZynServerRegistration, RegisteringTwiceLeavesOneRegistration) {
    TempRegistry registry;
    ASSERT_EQ(S_OK, CZynServerModule::RegisterServer(kLibrary));
    const std::set<std::wstring> once = Dump(HKEY_CLASSES_ROOT);
    // What another program added inside the class's key does not survive re-registration.
    SetText(HKEY_CLASSES_ROOT, std::wstring(kSchedulerClass) + L"\\InprocServer32", L"Stale", L"x");
    SetText(HKEY_CLASSES_ROOT, std::wstring(kSchedulerClass) + L"\\LocalServer32", nullptr,
            L"/usr/bin/other");
    SetText(HKEY_CLASSES_ROOT, std::wstring(kSchedulerClass) + L"\\PROGID", L"Stale", L"y");
    ASSERT_EQ(S_OK, CZynServerModule::RegisterServer(kLibrary));
    EXPECT_EQ(Dump(HKEY_CLASSES_ROOT), once);
}

TEST(ZynServerRegistration, FailedCallsRegisterNothingAndKeepTheSettings) {
    TempRegistry registry;
    StoreSetting(L"Thread Pool Size", NumberValue(3));
    EXPECT_EQ(SELFREG_E_CLASS, CZynServerModule::RegisterServer(L""));  // an unknown library file
    EXPECT_FALSE(HasKey(HKEY_CLASSES_ROOT, kSchedulerClass));
    // Nothing is registered: the type library cannot be unregistered.
    EXPECT_EQ(TYPE_E_REGISTRYACCESS, CZynServerModule::UnregisterServer());
    EXPECT_EQ(StoredSetting(L"Thread Pool Size"), NumberValue(3));
}

TEST(ZynServerRegistration, UnregisteringRemovesItsKeysAndTheSchedulerSettingsOnly) {
    TempRegistry registry;
    SetText(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-1111-2222-3333-444444444444}\\InprocServer32",
            nullptr, L"/usr/lib/other.so");
    SetText(HKEY_CLASSES_ROOT, L"Other.Program.1\\CLSID", nullptr,
            L"{00000000-1111-2222-3333-444444444444}");
    SetText(HKEY_LOCAL_MACHINE, L"Software\\Kalvane\\Kalvane Agent", L"Version", L"1");
    StoreSetting(L"Thread Pool Size", NumberValue(3));
    const std::set<std::wstring> before = Dump(HKEY_CLASSES_ROOT);

    ASSERT_EQ(S_OK, CZynServerModule::RegisterServer(kLibrary));
    ASSERT_EQ(S_OK, CZynServerModule::UnregisterServer());
    std::set<std::wstring> expected = before;
    expected.insert({L"Interface", L"TypeLib"});  // shared parents, like "CLSID", stay
    EXPECT_EQ(Dump(HKEY_CLASSES_ROOT), expected);
    EXPECT_FALSE(HasKey(HKEY_LOCAL_MACHINE, CSchedulerSettings::kKeyPath));
    EXPECT_TRUE(HasKey(HKEY_LOCAL_MACHINE, L"Software\\Kalvane\\Kalvane Agent"));
}

TEST(ZynServerRegistration, UnregisteringWithoutSettingsSucceeds) {
    TempRegistry registry;
    ASSERT_EQ(S_OK, CZynServerModule::RegisterServer(kLibrary));
    EXPECT_EQ(S_OK, CZynServerModule::UnregisterServer());
    EXPECT_FALSE(HasKey(HKEY_LOCAL_MACHINE, L"Software\\Kalvane"));
}

TEST(ZynServerClassObjects, TheLibraryStaysWhileACollectionLives) {
    SchedulerWorkFolder settings;
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, CZynServerModule::GetClassObject(CLSID_ZynTaskScheduler, IID_IClassFactory,
                                                     Out(factory)));
    ComPtr<IZynTaskScheduler> scheduler;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IZynTaskScheduler, Out(scheduler)));
    factory.Reset();
    ASSERT_EQ(S_OK, scheduler->Start());
    ComPtr<IZynTasks> tasks;
    ASSERT_EQ(S_OK, scheduler->get_tasks(tasks.Receive()));
    scheduler.Reset();
    EXPECT_EQ(S_FALSE, CZynServerModule::CanUnloadNow());
    tasks.Reset();
    EXPECT_EQ(S_OK, CZynServerModule::CanUnloadNow());
}

}  // namespace
