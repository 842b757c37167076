#include "automation/ZynServerModule.h"

#include <array>
#include <string>
#include <utility>

#include "automation/RegistryKey.h"
#include "automation/ZynTask.h"
#include "automation/ZynTaskScheduler.h"
#include "automation/ZynTasks.h"
#include "execution/ZynCmdLineTaskHandler.h"
#include "execution/ZynTaskProcessor.h"
#include "platform/TypeLibraryRegistration.h"
#include "support/ClassFactory.h"
#include "support/LogCall.h"
#include "support/MethodGuard.h"
#include "support/ModuleLocks.h"

namespace {

struct ServerClass {
    RegisteredClass registration;
    ClassEntry factory;
};

constexpr ServerClass kObjectMap[] = {
    {{&CLSID_ZynTaskScheduler, L"ZynTaskScheduler Class", kProgIdZynTaskScheduler,
      L"Kalvane.ZynTaskScheduler"},
     ClassEntryOf<CZynTaskScheduler>(CLSID_ZynTaskScheduler)},
    {{&CLSID_ZynTasks, L"ZynTasks Class", kProgIdZynTasks, L"Kalvane.ZynTasks"},
     ClassEntryOf<CZynTasks>(CLSID_ZynTasks)},
    {{&CLSID_ZynTask, L"ZynTask Class", kProgIdZynTask, L"Kalvane.ZynTask"},
     ClassEntryOf<CZynTask>(CLSID_ZynTask)},
    {{&CLSID_ZynCmdLineTaskHandler, L"ZynCmdLineTaskHandler Class", kProgIdZynCmdLineTaskHandler,
      L"Kalvane.ZynCmdLineTaskHandler"},
     ClassEntryOf<CZynCmdLineTaskHandler>(CLSID_ZynCmdLineTaskHandler)},
    {{&CLSID_ZynTaskProcessor, L"ZynTaskProcessor Class", kProgIdZynTaskProcessor,
      L"Kalvane.ZynTaskProcessor"},
     ClassEntryOf<CZynTaskProcessor>(CLSID_ZynTaskProcessor)},
};

template <std::size_t... Index>
constexpr auto RowsOf(std::index_sequence<Index...>) {
    return std::pair{std::array{kObjectMap[Index].registration...},
                     std::array{kObjectMap[Index].factory...}};
}
constexpr auto kRows = RowsOf(std::make_index_sequence<std::size(kObjectMap)>{});

constexpr TypeLibraryInterface kInterfaces[] = {
    {&IID_IZynTask, L"IZynTask"},
    {&IID_IZynTask2, L"IZynTask2"},
    {&IID_IZynTasks, L"IZynTasks"},
    {&IID_IZynTaskProcessor, L"IZynTaskProcessor"},
    {&IID_IZynScheduledTaskHandler, L"IZynScheduledTaskHandler"},
    {&IID_IZynTaskScheduler, L"IZynTaskScheduler"},
};

constexpr TypeLibraryDescription kTypeLibrary{&LIBID_ZYNTASKSCHEDULERLIBLib, 1, 0,
                                              L"ZynTaskSchedulerLib 1.0 Type Library", kInterfaces};

constexpr wchar_t kSettingsParentKey[] = L"Software\\Kalvane";
constexpr wchar_t kSettingsSubkey[] = L"Scheduler";

// Only out of memory can throw below; it is answered, never let out of an entry point.
template <class Body>
HRESULT Contained(const wchar_t* member, Body&& body) noexcept {
    try {
        GuardFailure failure;
        return RunGuarded({L"CZynServerModule", member}, failure, std::forward<Body>(body));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace

std::span<const RegisteredClass> CZynServerModule::ObjectMap() {
    return kRows.first;
}

HRESULT CZynServerModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept {
    return Contained(L"GetClassObject",
                     [&] { return GetClassObjectFromTable(kRows.second, rclsid, riid, ppv); });
}

HRESULT CZynServerModule::CanUnloadNow() noexcept {
    return ModuleLocks::CanUnloadNow();
}

HRESULT CZynServerModule::RegisterServer(std::wstring_view libraryFile) noexcept {
    return Contained(L"RegisterServer", [&] {
        if (libraryFile.empty()) {
            return SELFREG_E_CLASS;  // a class without its server's path is no registration
        }
        for (const RegisteredClass& entry : ObjectMap()) {
            const HRESULT hr =
                CServerRegistration::RegisterClass(entry, *kTypeLibrary.libid, libraryFile);
            if (FAILED(hr)) {
                return hr;
            }
        }
        return RegisterTypeLibraryOf(kTypeLibrary, libraryFile);
    });
}

HRESULT CZynServerModule::UnregisterServer() noexcept {
    return Contained(L"UnregisterServer", [&] {
        for (const RegisteredClass& entry : ObjectMap()) {
            const HRESULT hr = CServerRegistration::UnregisterClass(entry);
            if (FAILED(hr)) {
                return hr;
            }
        }
        const HRESULT hr = UnregisterTypeLibraryOf(kTypeLibrary);
        return FAILED(hr) ? hr : RemoveSchedulerSettings();
    });
}

// The settings of a scheduler that is no longer installed go with it; the keys of the
// company's other components beside them stay. Whether the delete succeeds is not looked at.
HRESULT CZynServerModule::RemoveSchedulerSettings() {
    GuardFailure failure;
    const HRESULT hr = RunGuarded({L"CZynServerModule", L"RemoveSchedulerSettings"}, failure, [] {
        CRegistryKey parent;
        if (parent.Open(HKEY_LOCAL_MACHINE, kSettingsParentKey, KEY_READ | KEY_WRITE) ==
            ERROR_SUCCESS) {
            RegDeleteKeyExW(parent.Get(), kSettingsSubkey, 0, 0);
        }
    });
    if (FAILED(hr)) {
        CEReportEvent(CE_SEVERITY_TRACE, L"ZynTaskSchedulerLib",
                      L"DllUnregisterServer() Unknown error");
        return E_FAIL;
    }
    return S_OK;
}
