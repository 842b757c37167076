// Activation without a working server library: what a client gets for classes that are not
// there, libraries that cannot serve, ProgID lookups and the thread's runtime state. The way
// through to a real object is tested with the sample server in the support layer.
#include <gtest/gtest.h>

#include <thread>

#include "ZynTaskSchedulerLib/ClassFactory.h"
#include "ZynTaskSchedulerLib/Registry.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/ModuleFile.h"
#include "support/TempRegistry.h"

namespace {

constexpr CLSID kClass = {
    0x5A1E0001, 0x1234, 0x4321, {0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};
constexpr const wchar_t* kClassText = L"{5A1E0001-1234-4321-8011-223344556677}";

void SetDefault(const std::wstring& keyPath, const std::wstring& text) {
    HKEY key{};
    ASSERT_EQ(ERROR_SUCCESS,
              static_cast<DWORD>(RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0,
                                                 KEY_WRITE, nullptr, &key, nullptr)));
    const std::vector<BYTE> data = RegStringData(text);
    RegSetValueExW(key, nullptr, 0, REG_SZ, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

void RegisterLibrary(const std::wstring& path) {
    SetDefault(std::wstring(L"CLSID\\") + kClassText + L"\\InprocServer32", path);
}

HRESULT CreateOn(DWORD context) {
    IUnknown* object = nullptr;
    const HRESULT hr =
        CoCreateInstance(kClass, nullptr, context, IID_IUnknown, reinterpret_cast<void**>(&object));
    EXPECT_EQ(nullptr, object);
    return hr;
}

class ComActivationTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    void TearDown() override { CoUninitialize(); }

    TempRegistry m_registry;
};

TEST_F(ComActivationTest, ClassesThatCannotBeServedInProcessAreNotRegistered) {
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateOn(CLSCTX_ALL));
    SetDefault(std::wstring(L"CLSID\\") + kClassText + L"\\LocalServer32", L"/usr/bin/true");
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateOn(CLSCTX_ALL));
    RegisterLibrary(ModuleFileOf(reinterpret_cast<const void*>(&CoCreateInstance)));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateOn(CLSCTX_LOCAL_SERVER));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateOn(CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER));
}

TEST_F(ComActivationTest, LibrariesThatCannotServeAreReported) {
    RegisterLibrary(m_registry.Root() + L"/missing.so");
    EXPECT_EQ(CO_E_DLLNOTFOUND, CreateOn(CLSCTX_INPROC_SERVER));

    const std::wstring notALibrary = m_registry.Root() + L"/text.so";
    WriteBytes(notALibrary, "just text");
    RegisterLibrary(notALibrary);
    EXPECT_EQ(CO_E_ERRORINDLL, CreateOn(CLSCTX_INPROC_SERVER));

    // The runtime's own library loads but exports no DllGetClassObject.
    const std::wstring runtime = ModuleFileOf(reinterpret_cast<const void*>(&CoCreateInstance));
    ASSERT_NE(std::wstring::npos, runtime.find(L"libZynPlatform"));
    RegisterLibrary(runtime);
    EXPECT_EQ(CO_E_ERRORINDLL, CreateOn(CLSCTX_ALL));
}

TEST_F(ComActivationTest, ProgIDsNameClassesBothWays) {
    SetDefault(L"Kalvane.Sample.1\\CLSID", kClassText);
    SetDefault(std::wstring(L"CLSID\\") + kClassText + L"\\ProgID", L"Kalvane.Sample.1");
    SetDefault(L"Kalvane.Broken\\CLSID", L"not a guid");

    CLSID clsid{};
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"kalvane.sample.1", &clsid));
    EXPECT_EQ(kClass, clsid);
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(L"Kalvane.Missing", &clsid));
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(L"Kalvane.Broken", &clsid));
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(L"CLSID\\x", &clsid));

    LPOLESTR progId = nullptr;
    ASSERT_EQ(S_OK, ProgIDFromCLSID(kClass, &progId));
    EXPECT_EQ(std::wstring(L"Kalvane.Sample.1"), progId);
    CoTaskMemFree(progId);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, ProgIDFromCLSID(GUID_NULL, &progId));
    EXPECT_EQ(nullptr, progId);
}

// Runs `body` on a thread of its own, so that the test thread's runtime state plays no part.
template <class Body>
void OnFreshThread(Body body) {
    std::thread thread(body);
    thread.join();
}

TEST(ComApartment, CountsNestedInitialisationAndKeepsTheMode) {
    OnFreshThread([] {
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        CoUninitialize();  // one too many does nothing
    });
}

TEST(ComApartment, ActivationNeedsTheRuntimeOnTheThreadOrInTheProcess) {
    TempRegistry registry;
    OnFreshThread([] { EXPECT_EQ(CO_E_NOTINITIALIZED, CreateOn(CLSCTX_ALL)); });
    OnFreshThread([] {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateOn(CLSCTX_ALL));
        CoUninitialize();
    });
    // A thread in the multithreaded apartment takes every other thread in with it.
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    OnFreshThread([] { EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateOn(CLSCTX_ALL)); });
    CoUninitialize();
    OnFreshThread([] { EXPECT_EQ(CO_E_NOTINITIALIZED, CreateOn(CLSCTX_ALL)); });
}

}  // namespace
