// The scheduler library as its clients meet it: registered by its own DllRegisterServer in a
// temporary registry, loaded by activation, driven late-bound by name as a script does, and
// unloaded once nothing of it lives. (What registration writes and removes, and the unload
// answer while a collection lives, are the server module's tests.)
// This program does not link the library; it copies it into a temporary folder, so that the
// library's default work folder ("Tasks" beside its file) is temporary too, and points the
// library's agent log at a temporary folder through the registry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "ZynTaskSchedulerLib/AgentLogNames.h"
#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/Registry.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "platform/Path.h"
#include "platform/ServerLibrary.h"
#include "platform/WideText.h"
#include "support/TempFolder.h"
#include "support/TempRegistry.h"

namespace {

const std::wstring kBuiltLibrary = Utf8ToWideLossy(ZYN_SCHEDULER_LIBRARY);

template <class T>
void** Out(ComPtr<T>& pointer) {
    return reinterpret_cast<void**>(pointer.Receive());
}

bool IsMapped(const std::wstring& path) {
    std::ifstream maps("/proc/self/maps");
    const std::string text((std::istreambuf_iterator<char>(maps)),
                           std::istreambuf_iterator<char>());
    return text.find(WideToUtf8(path)) != std::string::npos;
}

bool Exists(const std::wstring& path) {
    return std::filesystem::exists(WideToUtf8(path));
}

// An object as a script sees it: members found by name, arguments and results as VARIANTs.
class ScriptObject {
public:
    ScriptObject() = default;
    explicit ScriptObject(ComPtr<IDispatch> object) : m_object(std::move(object)) {}
    explicit operator bool() const { return static_cast<bool>(m_object); }

    // Arguments first to last; they stay the caller's.
    HRESULT Invoke(const wchar_t* name, WORD kind, std::vector<const VARIANT*> arguments,
                   VARIANT* result) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = DISPID_UNKNOWN;
        if (const HRESULT hr =
                m_object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
            FAILED(hr)) {
            return hr;
        }
        std::vector<VARIANT> reversed;
        for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument) {
            reversed.push_back(**argument);
        }
        DISPID put = DISPID_PROPERTYPUT;
        const bool isPut = kind == DISPATCH_PROPERTYPUT;
        DISPPARAMS params{reversed.data(), isPut ? &put : nullptr,
                          static_cast<UINT>(reversed.size()), isPut ? 1u : 0u};
        return m_object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, nullptr,
                                nullptr);
    }
    HRESULT Call(const wchar_t* name, std::vector<const VARIANT*> arguments = {}) {
        CVariantHolder ignored;
        return Invoke(name, DISPATCH_METHOD, std::move(arguments), &ignored);
    }
    HRESULT Get(const wchar_t* name, VARIANT& result, std::vector<const VARIANT*> arguments = {}) {
        return Invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(arguments), &result);
    }
    HRESULT Put(const wchar_t* name, const VARIANT& value) {
        return Invoke(name, DISPATCH_PROPERTYPUT, {&value}, nullptr);
    }
    // The object a member answers, null when it answers something else or fails.
    ScriptObject Object(const wchar_t* name, std::vector<const VARIANT*> arguments = {}) {
        CVariantHolder result;
        if (FAILED(Get(name, result, std::move(arguments))) || result.vt != VT_DISPATCH) {
            return ScriptObject();
        }
        return ScriptObject(ComPtr<IDispatch>(result.pdispVal));
    }
    std::wstring Text(const wchar_t* name) {
        CVariantHolder result;
        EXPECT_EQ(S_OK, Get(name, result));
        return result.vt == VT_BSTR && result.bstrVal != nullptr ? result.bstrVal : L"";
    }
    bool Flag(const wchar_t* name) {
        CVariantHolder result;
        EXPECT_EQ(S_OK, Get(name, result));
        return result.vt == VT_BOOL && result.boolVal == VARIANT_TRUE;
    }

private:
    ComPtr<IDispatch> m_object;
};

void SetText(HKEY tree, const wchar_t* path, const wchar_t* name, const std::wstring& text) {
    HKEY key{};
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(tree, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    const std::vector<BYTE> data = RegStringData(text);
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key, name, 0, REG_SZ, data.data(), static_cast<DWORD>(data.size())));
    RegCloseKey(key);
}

std::wstring TaskDocument(const std::wstring& name) {
    return L"<Schedule Name=\"" + name +
           L"\"><Task><Triggers><Trigger Type=\"0\" Interval=\"0\" Duration=\"0\"><BeginDate>"
           L"2091-01-01 10:00:00</BeginDate></Trigger></Triggers><ApplicationName>/bin/true"
           L"</ApplicationName></Task></Schedule>";
}

class ScriptClientTest : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(WideToUtf8(kBuiltLibrary), WideToUtf8(m_library));
        SetText(HKEY_LOCAL_MACHINE, kAgentLogSettingsKey, L"FilePath", m_logs.Path());
        std::unique_ptr<CServerLibrary> library;  // registered as an installer does
        ASSERT_EQ(S_OK, CServerLibrary::Load(m_library, library));
        ASSERT_EQ(S_OK, library->RegisterServer());
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        EXPECT_FALSE(IsMapped(m_library)) << "an object of the library is still alive";
        CoUninitialize();
    }

    // An object as a script makes it, by its ProgID (which must name class `expected`).
    ScriptObject Create(const wchar_t* progId, const CLSID& expected) {
        CLSID clsid{};
        EXPECT_EQ(S_OK, CLSIDFromProgID(progId, &clsid));
        EXPECT_EQ(clsid, expected);
        ComPtr<IDispatch> object;
        EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                         Out(object)));
        return ScriptObject(object);
    }
    std::wstring WorkFolder() const { return m_install / L"Tasks"; }
    std::wstring LockFile() const {
        return JoinPath(WorkFolder(), L"ZynTaskSchedulerLock/taskSchedulerLock.tmp");
    }
    std::string AgentLog() const {
        std::ifstream log(WideToUtf8(m_logs / L"Agent.log"));
        return std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    }

    TempRegistry m_registry;
    TempFolder m_install;
    TempFolder m_logs;
    const std::wstring m_library = m_install / L"libZynTaskSchedulerLib.so";
};

TEST_F(ScriptClientTest, AScriptStartsCreatesFindsAndStops) {
    ScriptObject scheduler = Create(L"Kalvane.ZynTaskScheduler", CLSID_ZynTaskScheduler);
    ASSERT_TRUE(scheduler);
    ASSERT_EQ(S_OK, scheduler.Call(L"Start"));
    EXPECT_TRUE(Exists(LockFile()));  // in the default work folder: beside the library
    EXPECT_TRUE(scheduler.Flag(L"Enabled"));

    const CVariantHolder document(TaskDocument(L"nightly"));
    ScriptObject task = scheduler.Object(L"CreateTask", {&document});
    ASSERT_TRUE(task);
    const std::wstring identity = task.Text(L"Guid");
    EXPECT_TRUE(Exists(JoinPath(WorkFolder(), identity + L".xml")));

    ScriptObject tasks = scheduler.Object(L"Tasks");
    ASSERT_TRUE(tasks);
    CVariantHolder count;
    EXPECT_EQ(S_OK, tasks.Get(L"Count", count));
    EXPECT_EQ(count.lVal, 1);

    CVariantHolder enumerator;
    ASSERT_EQ(S_OK, tasks.Get(L"_NewEnum", enumerator));
    ASSERT_EQ(enumerator.vt, VT_UNKNOWN);
    ComPtr<IEnumUnknown> walk;
    ASSERT_EQ(S_OK, enumerator.punkVal->QueryInterface(IID_IEnumUnknown, Out(walk)));
    ComPtr<IUnknown> item;
    ULONG fetched = 0;
    ASSERT_EQ(S_OK, walk->Next(1, item.Receive(), &fetched));
    ASSERT_EQ(fetched, 1u);
    ComPtr<IDispatch> walked;
    ASSERT_EQ(S_OK, item->QueryInterface(IID_IDispatch, Out(walked)));
    EXPECT_EQ(ScriptObject(walked).Text(L"Guid"), identity);
    EXPECT_EQ(S_OK, walk->Next(1, item.Receive(), &fetched));
    EXPECT_EQ(fetched, 0u) << "the walk ends after the one task";

    const CVariantHolder name(L"nightly");
    ScriptObject found = tasks.Object(L"GetTask", {&name});
    ASSERT_TRUE(found);
    EXPECT_EQ(found.Text(L"Guid"), identity);
    const CVariantHolder index(0);
    EXPECT_EQ(tasks.Object(L"Item", {&index}).Text(L"Guid"), identity);

    EXPECT_EQ(S_OK, scheduler.Call(L"Stop"));
    EXPECT_FALSE(scheduler.Flag(L"Enabled"));
    CVariantHolder truth;  // a script's True
    truth.vt = VT_BOOL;
    truth.boolVal = VARIANT_TRUE;
    EXPECT_EQ(S_OK, scheduler.Put(L"Enabled", truth));
    EXPECT_TRUE(scheduler.Flag(L"Enabled"));

    EXPECT_EQ(S_OK, found.Call(L"DeleteTask"));
    EXPECT_FALSE(Exists(JoinPath(WorkFolder(), identity + L".xml")));
    EXPECT_NE(AgentLog().find("Task scheduler enabled"), std::string::npos);

    walk.Reset();
    walked.Reset();
    enumerator.Clear();
    found = task = tasks = scheduler = ScriptObject();
    EXPECT_FALSE(Exists(LockFile()));
}

TEST_F(ScriptClientTest, TheLibrarysCommandLineHandlerRunsAProgram) {
    ScriptObject handler = Create(L"Kalvane.ZynCmdLineTaskHandler", CLSID_ZynCmdLineTaskHandler);
    ASSERT_TRUE(handler);
    const std::wstring marker = m_logs / L"ran";
    const CVariantHolder identity(L"{6A1E0C52-3B7D-4F19-9C24-1D5E8B7A0F33}");
    const CVariantHolder document(
        L"<Schedule Name=\"touch\"><Task><ApplicationName>/usr/bin/touch"
        L"</ApplicationName><Parameters>" +
        marker + L"</Parameters></Task></Schedule>");
    EXPECT_EQ(S_OK, handler.Call(L"ProcessTask", {&identity, &document}));  // waits for the end
    EXPECT_TRUE(Exists(marker));
}

}  // namespace
