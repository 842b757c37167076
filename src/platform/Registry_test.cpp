#include "ZynTaskSchedulerLib/Registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/FileDescriptor.h"
#include "platform/RegistryStore.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/TempRegistry.h"

namespace {

constexpr LSTATUS Code(DWORD error) {
    return static_cast<LSTATUS>(error);
}
constexpr LSTATUS kOk = ERROR_SUCCESS;
constexpr LSTATUS kMissing = ERROR_FILE_NOT_FOUND;

LSTATUS Create(HKEY parent, const wchar_t* path, HKEY& key, REGSAM access = KEY_ALL_ACCESS,
               DWORD* disposition = nullptr, DWORD options = 0) {
    return RegCreateKeyExW(parent, path, 0, nullptr, options, access, nullptr, &key, disposition);
}
LSTATUS Open(HKEY parent, const wchar_t* path, HKEY& key, REGSAM access = KEY_READ) {
    return RegOpenKeyExW(parent, path, 0, access, &key);
}
LSTATUS EnumKey(HKEY key, DWORD index, wchar_t* name, DWORD& length) {
    return RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
}

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) {
        bytes += static_cast<char>(value);
    }
    return bytes;
}

std::string StringBytes(const std::wstring& text) {
    const std::vector<BYTE> data = RegStringData(text);
    return std::string(data.begin(), data.end());
}

struct StoredValue {
    DWORD type = 0;
    std::string data;
    bool operator==(const StoredValue&) const = default;
};

LSTATUS SetValue(HKEY key, const wchar_t* name, DWORD type, const std::string& data) {
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

StoredValue QueryValue(HKEY key, const wchar_t* name) {
    StoredValue value;
    DWORD size = 0;
    EXPECT_EQ(kOk, RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size));
    value.data.resize(size);
    EXPECT_EQ(kOk, RegQueryValueExW(key, name, nullptr, &value.type,
                                    reinterpret_cast<BYTE*>(value.data.data()), &size));
    return value;
}

class RegistryTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kOk, Create(HKEY_LOCAL_MACHINE, L"Software\\Kalvane\\Scheduler", m_key,
                              KEY_READ | KEY_WRITE));
    }
    void TearDown() override { RegCloseKey(m_key); }

    std::string TreeText() const { return ReadBytes(m_registry.TreeFile(L"HKEY_LOCAL_MACHINE")); }

    TempRegistry m_registry;
    HKEY m_key{};
};

// Every type, and strings that are not clean, come back byte for byte; the tree file shows them
// as a person would write them, or as hex where text would lose a byte.
TEST_F(RegistryTest, EveryValueComesBackByteForByte) {
    std::string longBlob;
    for (int i = 0; i < 100; ++i) {
        longBlob += static_cast<char>(i * 7);
    }
    const struct {
        const wchar_t* name;
        StoredValue value;
    } rows[] = {
        {L"Thread Pool Size", {REG_DWORD, Bytes({5, 0, 0, 0})}},
        {L"WorkFolder", {REG_SZ, StringBytes(L"/opt/zyntask/Tasks")}},
        {L"LogPath", {REG_EXPAND_SZ, StringBytes(L"$HOME/logs \"quoted\" \\ back")}},
        {L"Unicode", {REG_SZ, StringBytes(L"Gr\u00FC\u00DFe \U0001F600")}},
        {L"Empty text", {REG_SZ, StringBytes(L"")}},
        {L"Blob", {REG_BINARY, Bytes({0, 1, 0xFE, 0xFF})}},
        {L"Long blob", {REG_BINARY, longBlob}},  // wrapped over lines in the file
        {L"Big", {REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8})}},
        {L"Many", {REG_MULTI_SZ, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0})}},
        {L"Nothing", {REG_NONE, ""}},
        {L"Short dword", {REG_DWORD, Bytes({7, 0})}},
        {nullptr, {REG_SZ, StringBytes(L"default value")}},
        {L"Odd length", {REG_SZ, Bytes({'a', 0, 'b', 0, 0})}},
        {L"Unterminated", {REG_SZ, Bytes({'a', 0, 'b', 0})}},
        {L"Zero inside", {REG_EXPAND_SZ, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0})}},
        {L"Two terminators", {REG_SZ, Bytes({'a', 0, 0, 0, 0, 0})}},
        {L"Lone surrogate", {REG_SZ, Bytes({0x00, 0xD8, 0, 0})}},
        {L"Line break", {REG_SZ, Bytes({'a', 0, '\n', 0, 0, 0})}},
        {L"No bytes", {REG_SZ, ""}},
        {L"One byte", {REG_EXPAND_SZ, Bytes({0})}},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(kOk, SetValue(m_key, row.name, row.value.type, row.value.data));
    }
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name == nullptr ? L"(default)" : row.name);
        EXPECT_EQ(row.value, QueryValue(m_key, row.name));
    }
    const std::string text = TreeText();
    for (const char* line :
         {"[Software\\Kalvane\\Scheduler]", "\"Thread Pool Size\"=dword:00000005",
          "\"WorkFolder\"=\"/opt/zyntask/Tasks\"",
          "\"LogPath\"=expand:\"$HOME/logs \\\"quoted\\\" \\\\ back\"", "@=\"default value\"",
          "\"Odd length\"=hex(1):61,00,62,00,00", "\"Zero inside\"=hex(2):61,00,00,00,62,00,00,00",
          "\"No bytes\"=hex(1):\n", ",\\\n  "}) {
        EXPECT_NE(std::string::npos, text.find(line)) << line;
    }
}

TEST_F(RegistryTest, QueryAnswersSizesAndMissingValues) {
    ASSERT_EQ(kOk, SetValue(m_key, L"WorkFolder", REG_SZ, StringBytes(L"abc")));
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(kOk, RegQueryValueExW(m_key, L"WorkFolder", nullptr, &type, nullptr, &size));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(8u, size);

    BYTE small[4] = {};
    size = sizeof(small);
    EXPECT_EQ(Code(ERROR_MORE_DATA),
              RegQueryValueExW(m_key, L"WorkFolder", nullptr, &type, small, &size));
    EXPECT_EQ(8u, size);

    BYTE buffer[520] = {};
    size = sizeof(buffer);
    EXPECT_EQ(kOk, RegQueryValueExW(m_key, L"workfolder", nullptr, &type, buffer, &size));
    EXPECT_EQ(L"abc", RegStringText(buffer, size).value_or(L"?"));

    EXPECT_EQ(kMissing, RegQueryValueExW(m_key, L"Missing", nullptr, &type, buffer, &size));
    EXPECT_EQ(kOk, RegDeleteValueW(m_key, L"WORKFOLDER"));
    EXPECT_EQ(kMissing, RegDeleteValueW(m_key, L"WorkFolder"));
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    HKEY again{};
    DWORD disposition = 0;
    ASSERT_EQ(kOk, Create(m_key, L"New", again, KEY_READ, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    RegCloseKey(again);
    ASSERT_EQ(kOk, Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\kalvane\\scheduler", again,
                          KEY_ALL_ACCESS, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    ASSERT_EQ(kOk, SetValue(again, L"Enable Logging", REG_DWORD, Bytes({1, 0, 0, 0})));
    ASSERT_EQ(kOk, SetValue(m_key, L"ENABLE LOGGING", REG_DWORD, Bytes({0, 0, 0, 0})));
    EXPECT_EQ((StoredValue{REG_DWORD, Bytes({0, 0, 0, 0})}), QueryValue(again, L"enable logging"));

    wchar_t name[64];
    DWORD length = 64;
    EXPECT_EQ(kOk, RegEnumValueW(m_key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::wstring(L"Enable Logging"), name);
    length = 64;
    HKEY software{};
    ASSERT_EQ(kOk, Open(HKEY_LOCAL_MACHINE, L"software", software));
    EXPECT_EQ(kOk, EnumKey(software, 0, name, length));
    EXPECT_EQ(std::wstring(L"Kalvane"), name);
    RegCloseKey(software);
    RegCloseKey(again);
}

TEST_F(RegistryTest, EnumeratesSubkeysInNameOrder) {
    for (const wchar_t* name : {L"b", L"C", L"a"}) {
        HKEY child{};
        ASSERT_EQ(kOk, Create(m_key, name, child, KEY_READ));
        RegCloseKey(child);
    }
    std::wstring names;
    wchar_t name[8];
    DWORD index = 0;
    for (DWORD length = 8; EnumKey(m_key, index, name, length) == kOk; length = 8) {
        EXPECT_EQ(1u, length);
        names += name;
        ++index;
    }
    EXPECT_EQ(L"abC", names);
    DWORD length = 8;
    EXPECT_EQ(Code(ERROR_NO_MORE_ITEMS), EnumKey(m_key, 3, name, length));
    length = 1;
    EXPECT_EQ(Code(ERROR_MORE_DATA), EnumKey(m_key, 0, name, length));
}

TEST_F(RegistryTest, DeletingAKeyWithSubkeysTakesTheWholeTreeAndKeepsTheOpenOne) {
    HKEY deep{};
    ASSERT_EQ(kOk, Create(m_key, L"One\\Two\\Three", deep));
    ASSERT_EQ(kOk, SetValue(deep, L"Leaf", REG_DWORD, Bytes({1, 0, 0, 0})));

    EXPECT_EQ(Code(ERROR_ACCESS_DENIED), RegDeleteKeyW(m_key, L"One"));
    EXPECT_EQ(kOk, RegDeleteTreeW(m_key, L"one"));

    HKEY gone{};
    EXPECT_EQ(kMissing, Open(m_key, L"One", gone));
    EXPECT_EQ(Code(ERROR_KEY_DELETED), SetValue(deep, L"Leaf", REG_DWORD, Bytes({2, 0, 0, 0})));
    EXPECT_EQ(kMissing, RegDeleteTreeW(m_key, L"One"));
    EXPECT_EQ(std::string::npos, TreeText().find("One"));
    RegCloseKey(deep);

    HKEY leaf{};
    ASSERT_EQ(kOk, Create(m_key, L"Leaf", leaf, KEY_READ));
    RegCloseKey(leaf);
    EXPECT_EQ(kOk, RegDeleteKeyExW(m_key, L"Leaf", KEY_WOW64_64KEY, 0));
    EXPECT_EQ(kMissing, Open(m_key, L"Leaf", leaf));

    // The tree of the open key itself: emptied, the key stays.
    ASSERT_EQ(kOk, Create(m_key, L"Child", leaf, KEY_READ));
    RegCloseKey(leaf);
    ASSERT_EQ(kOk, SetValue(m_key, L"Value", REG_DWORD, Bytes({1, 0, 0, 0})));
    EXPECT_EQ(kOk, RegDeleteTreeW(m_key, nullptr));
    wchar_t name[16];
    DWORD length = 16;
    EXPECT_EQ(Code(ERROR_NO_MORE_ITEMS), EnumKey(m_key, 0, name, length));
    EXPECT_EQ(Code(ERROR_NO_MORE_ITEMS),
              RegEnumValueW(m_key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(kOk, SetValue(m_key, L"Value", REG_DWORD, Bytes({2, 0, 0, 0})));
}

TEST_F(RegistryTest, HandlesCarryTheirRights) {
    HKEY reader{};
    ASSERT_EQ(kOk, Open(HKEY_LOCAL_MACHINE, L"Software\\Kalvane\\Scheduler", reader));
    EXPECT_EQ(Code(ERROR_ACCESS_DENIED), SetValue(reader, L"X", REG_DWORD, Bytes({1, 0, 0, 0})));
    HKEY child{};
    EXPECT_EQ(Code(ERROR_ACCESS_DENIED), Create(reader, L"Child", child, KEY_READ));
    EXPECT_EQ(kOk, RegCloseKey(reader));
    EXPECT_EQ(Code(ERROR_INVALID_HANDLE), RegCloseKey(reader));
    EXPECT_EQ(Code(ERROR_INVALID_HANDLE), SetValue(reader, L"X", REG_DWORD, Bytes({1, 0, 0, 0})));
    EXPECT_EQ(Code(ERROR_INVALID_HANDLE), SetValue(HKEY{12345}, L"X", REG_DWORD, ""));
    EXPECT_EQ(Code(ERROR_ACCESS_DENIED),
              SetValue(HKEY_LOCAL_MACHINE, L"X", REG_DWORD, Bytes({1, 0, 0, 0})));
    EXPECT_EQ(Code(ERROR_NOT_SUPPORTED),
              Create(m_key, L"Volatile", child, KEY_READ, nullptr, REG_OPTION_VOLATILE));
    EXPECT_EQ(Code(ERROR_INVALID_PARAMETER),
              SetValue(m_key, L"Line\nbreak", REG_DWORD, Bytes({1, 0, 0, 0})));
}

TEST_F(RegistryTest, HandEditedTreesAreReadAndCorruptOnesRefused) {
    WriteBytes(m_registry.TreeFile(L"HKEY_LOCAL_MACHINE"),
               "; edited by hand\r\n"
               "[Software\\Kalvane\\Scheduler]\r\n"
               "\"Thread Pool Size\"=dword:0000000A\r\n"
               "  \"Blob\"=hex:01,02,\\\r\n"
               "    03\r\n"
               "\n"
               "[Software\\Other]\n");
    EXPECT_EQ((StoredValue{REG_DWORD, Bytes({10, 0, 0, 0})}),
              QueryValue(m_key, L"Thread Pool Size"));
    EXPECT_EQ((StoredValue{REG_BINARY, Bytes({1, 2, 3})}), QueryValue(m_key, L"Blob"));
    HKEY other{};
    EXPECT_EQ(kOk, Open(HKEY_LOCAL_MACHINE, L"Software\\Other", other));
    RegCloseKey(other);

    // A corrupt tree is neither read nor overwritten.
    const std::string corrupt = "[Software\\Kalvane\\Scheduler]\n\"Broken\"=dword:xyz\n";
    WriteBytes(m_registry.TreeFile(L"HKEY_LOCAL_MACHINE"), corrupt);
    DWORD size = 0;
    EXPECT_EQ(Code(ERROR_BADDB),
              RegQueryValueExW(m_key, L"Broken", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(Code(ERROR_BADDB), SetValue(m_key, L"New", REG_DWORD, Bytes({1, 0, 0, 0})));
    EXPECT_EQ(corrupt, TreeText());
}

TEST(RegistryStringText, AcceptsOnlyEvenTerminatedData) {
    const struct {
        std::string bytes;
        std::optional<std::wstring> text;
    } rows[] = {
        {"", L""},
        {Bytes({0, 0}), L""},
        {Bytes({'a', 0, 'b', 0, 0, 0}), L"ab"},
        {Bytes({'a', 0, 0, 0, 'b', 0, 0, 0}), L"a"},
        {Bytes({'a', 0, 'b', 0}), std::nullopt},
        {Bytes({'a', 0, 0}), std::nullopt},
        {Bytes({0x3D, 0xD8, 0x00, 0xDE, 0, 0}), L"\U0001F600"},
        {Bytes({0x00, 0xD8, 0, 0}), std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.bytes));
        EXPECT_EQ(row.text, RegStringText(reinterpret_cast<const BYTE*>(row.bytes.data()),
                                          static_cast<DWORD>(row.bytes.size())));
    }
}

TEST(RegistryRoot, ComesFromTheEnvironmentWithADefaultPerAccount) {
    TempRegistry registry;
    EXPECT_EQ(registry.Root(), RegistryRootFolder());

    const std::string saved = ::getenv("ZYN_REGISTRY");
    const char* state = ::getenv("XDG_STATE_HOME");
    const std::optional<std::string> savedState =
        state ? std::optional(std::string(state)) : std::nullopt;
    ::unsetenv("ZYN_REGISTRY");
    ::setenv("XDG_STATE_HOME", "/somewhere/state", 1);
    const std::wstring defaultRoot = RegistryRootFolder();
    ::setenv("ZYN_REGISTRY", saved.c_str(), 1);
    if (savedState) {
        ::setenv("XDG_STATE_HOME", savedState->c_str(), 1);
    } else {
        ::unsetenv("XDG_STATE_HOME");
    }
    EXPECT_EQ(
        ::geteuid() == 0 ? L"/var/lib/zyntask/registry" : L"/somewhere/state/zyntask/registry",
        defaultRoot);
}

TEST(RegistryRoot, IsCreatedByTheFirstWrite) {
    TempRegistry registry;
    const std::wstring root = registry.Root() + L"/not/yet/there";
    ::setenv("ZYN_REGISTRY", WideToUtf8(root).c_str(), 1);
    HKEY key{};
    DWORD disposition = 0;
    EXPECT_EQ(kMissing, Open(HKEY_LOCAL_MACHINE, L"Software", key));
    ASSERT_EQ(kOk, Create(HKEY_LOCAL_MACHINE, L"Software", key, KEY_READ, &disposition));
    RegCloseKey(key);
    EXPECT_FALSE(ReadBytes(root + L"/HKEY_LOCAL_MACHINE.reg").empty());
}

constexpr int kWriters = 4;
constexpr int kValuesPerWriter = 500;

std::wstring ValueNameOf(int writer, int index) {
    return L"w" + std::to_wstring(writer) + L"-" + std::to_wstring(index);
}

DWORD ValueDataOf(int writer, int index) {
    return static_cast<DWORD>(writer * 100000 + index);
}

std::string DwordBytes(DWORD number) {
    return Bytes({static_cast<int>(number & 0xFF), static_cast<int>((number >> 8) & 0xFF),
                  static_cast<int>((number >> 16) & 0xFF), static_cast<int>(number >> 24)});
}

ZYN_CHILD_ROLE(RegistryWriter) {
    const int writer = std::stoi(args.at(0));
    HKEY key{};
    if (Create(HKEY_LOCAL_MACHINE, L"Software\\Crowded", key, KEY_WRITE) != ERROR_SUCCESS) {
        return 1;
    }
    int failures = 0;
    for (int i = 0; i < kValuesPerWriter; ++i) {
        const std::string data = DwordBytes(ValueDataOf(writer, i));
        failures += SetValue(key, ValueNameOf(writer, i).c_str(), REG_DWORD, data) != 0;
    }
    RegCloseKey(key);
    return failures == 0 ? 0 : 2;
}

TEST(RegistryWriters, FourProcessesLoseNothing) {
    TempRegistry registry;
    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
        writers.push_back(
            std::make_unique<ChildProcess>("RegistryWriter", std::vector{std::to_string(writer)}));
    }
    for (auto& writer : writers) {
        EXPECT_EQ(0, writer->Wait());
    }
    // Every value is checked in one reading of the tree, which the calls read too.
    CRegistryTree tree;
    ASSERT_EQ(kOk, LoadRegistryHive(RegistryHive::LocalMachine, tree));
    const CRegistryTree* crowded = tree.Find({L"Software", L"Crowded"});
    ASSERT_NE(nullptr, crowded);
    int found = 0;
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int i = 0; i < kValuesPerWriter; ++i) {
            const RegistryValue* value = crowded->Value(ValueNameOf(writer, i));
            found += value != nullptr && value->type == REG_DWORD &&
                     value->data == DwordBytes(ValueDataOf(writer, i));
        }
    }
    EXPECT_EQ(kWriters * kValuesPerWriter, found);
}

TEST(RegistryWriters, ALockHeldTooLongFailsTheChangeInsteadOfStallingIt) {
    TempRegistry registry;
    HKEY key{};
    ASSERT_EQ(kOk, Create(HKEY_LOCAL_MACHINE, L"Software", key, KEY_WRITE));
    const std::string lockFile = WideToUtf8(registry.Root()) + "/.lock";
    struct stat status {};
    ASSERT_EQ(::stat(lockFile.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "the root is its owner's alone";

    const FileDescriptor holder(::open(lockFile.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_EQ(::flock(holder.Get(), LOCK_EX), 0);
    EXPECT_EQ(Code(ERROR_LOCK_VIOLATION), SetValue(key, L"held", REG_DWORD, DwordBytes(1)));
    ASSERT_EQ(::flock(holder.Get(), LOCK_UN), 0);
    EXPECT_EQ(kOk, SetValue(key, L"free", REG_DWORD, DwordBytes(2)));
    RegCloseKey(key);
}

}  // namespace
