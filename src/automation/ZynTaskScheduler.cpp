#include "automation/ZynTaskScheduler.h"

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "automation/OptionalArgument.h"
#include "automation/PointerChecks.h"
#include "automation/SchedulerSettings.h"
#include "automation/ServerLibraryFile.h"
#include "automation/ZynEngineObjects.h"
#include "automation/ZynTask.h"
#include "automation/ZynTasks.h"
#include "platform/GuidText.h"
#include "support/LogCall.h"
#include "support/MethodGuard.h"
#include "support/ThrowError.h"

namespace {

constexpr wchar_t kClassName[] = L"CZynTaskScheduler";
constexpr wchar_t kComponent[] = L"Task Scheduler";
const AutomationIdentity kIdentity{IID_IZynTaskScheduler, kProgIdZynTaskScheduler, kClassName};
// The loader does not say why it cannot name a library's file; this is the nearest code.
constexpr DWORD kLibraryFileUnknown = ERROR_MOD_NOT_FOUND;

// Logs `message` as an error of the scheduler and puts it in the caller's error record.
HRESULT ReportFailure(HRESULT hr, const wchar_t* message) {
    CEReportEvent(CE_SEVERITY_ERROR, kComponent, message);
    SetCallerErrorRecord(GuardFailure{hr, message}, IID_IZynTaskScheduler, kProgIdZynTaskScheduler);
    return hr;
}

void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) {
        throw ComError(hr);
    }
}

std::wstring NewTaskIdentity() {
    GUID identity{};
    if (const HRESULT hr = CoCreateGuid(&identity); FAILED(hr)) {
        CE_FAILED_THROW_ERROR(hr);
    }
    return GuidText(identity);
}

}  // namespace

CZynTaskScheduler::CZynTaskScheduler()
    : m_engine(MakeCounted<CZynTaskSchedulerThread>(&CZynEngineObjects::Instance())) {}

void CZynTaskScheduler::FinalRelease() {
    m_engine->Shutdown();
}

template <class Body>
HRESULT CZynTaskScheduler::Guarded(const wchar_t* member, Body&& body) {
    return GuardAutomationMethod({kClassName, member}, kIdentity, std::forward<Body>(body));
}

HRESULT CZynTaskScheduler::get_tasks(IZynTasks** pVal) {
    return Guarded(L"get_Tasks", [&] {
        if (pVal == nullptr) {
            throw E_POINTER;
        }
        ComPtr<IZynTasks> tasks = MakeZynTasks(m_engine);
        tasks->Reset();  // the folder as it is now; a failed reload is logged by the collection
        *pVal = tasks.Detach();
    });
}

HRESULT CZynTaskScheduler::get_Config(BSTR* pVal) {
    return Guarded(L"get_Config", [&] {
        CheckWritable(pVal, sizeof(BSTR), L"Can't write to BSTR at %x");
        *pVal = CBstr(m_engine->GetConfiguration()).Detach();
    });
}

HRESULT CZynTaskScheduler::put_Config(BSTR newVal) {
    return Guarded(L"put_Config",
                   [&] { m_engine->SetConfiguration(newVal == nullptr ? L"" : newVal); });
}

// On failure the new task is released and the caller gets none.
HRESULT CZynTaskScheduler::CreateTask(VARIANT vXml, IZynTask** ppTask) {
    return Guarded(L"CreateTask", [&] {
        CheckWritable(ppTask, sizeof(IZynTask*), L"Create failed: Can't set task pointer at %x");
        *ppTask = nullptr;
        ComPtr<IZynTask> task = MakeZynTask(m_engine, 1);
        HRESULT hr = task->put_Guid(CBstr(NewTaskIdentity()).Get());
        if (!IsOmitted(vXml)) {
            CVariantHolder xml;
            ThrowIfFailed(xml.CopyFrom(vXml));
            if (xml.vt != VT_BSTR) {
                ThrowIfFailed(xml.ChangeType(VT_BSTR));
            }
            hr = task->put_Xml(xml.bstrVal);
            if (FAILED(hr)) {
                CEThrowError(hr, L"Failed to put XML for task.");
            }
        }
        *ppTask = task.Detach();
        return hr;
    });
}

// Whether the task's document could be stored again is not looked at.
HRESULT CZynTaskScheduler::AddTask(IZynTask* pTask) {
    return Guarded(L"AddTask", [&] {
        CheckReadable(pTask, sizeof(void*), L"Invalid task pointer %x");
        const ComPtr<IZynTask> task(pTask);
        CBstr xml;
        task->get_Xml(xml.Receive());
        task->put_Xml(xml.Get());
    });
}

HRESULT CZynTaskScheduler::get_Enabled(VARIANT_BOOL* pVal) {
    return Guarded(L"get_Enabled", [&] {
        CheckWritable(pVal, sizeof(VARIANT_BOOL), L"Invalid bool pointer %x");
        *pVal = m_engine->IsEnabled() ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

HRESULT CZynTaskScheduler::put_Enabled(VARIANT_BOOL newVal) {
    return Guarded(L"put_Enabled", [&]() -> HRESULT {
        if (newVal != VARIANT_TRUE) {
            m_engine->Disable();
            CEReportEvent(CE_SEVERITY_INFORMATION, kComponent, L"Task scheduler disabled.");
            return S_OK;
        }
        const bool enabled = m_engine->Enable();  // the engine says itself why it would not
        CEReportEvent(CE_SEVERITY_INFORMATION, kComponent, L"Task scheduler enabled");
        return enabled ? S_OK : S_FALSE;
    });
}

HRESULT CZynTaskScheduler::Start() {
    HRESULT result = S_OK;
    GuardFailure thrown;
    RunGuarded({kClassName, L"Start"}, thrown, [&] { result = StartFromSettings(); });
    return FAILED(thrown.hr) ? ReportFailure(E_FAIL, L"Unexpected error") : result;
}

// The settings as the registry holds them (repaired where needed), handed to the engine
// through this object's own interface; the engine is enabled only after a clean S_OK.
HRESULT CZynTaskScheduler::StartFromSettings() {
    CSchedulerSettings settings;
    if (const LSTATUS status = settings.Open(); status != ERROR_SUCCESS) {
        return ReportFailure(HRESULT_FROM_WIN32(status), L"Cannot configure the task scheduler");
    }
    settings.ReadNumbers();
    if (!settings.ReadWorkFolder(ServerLibraryFile())) {
        return ReportFailure(HRESULT_FROM_WIN32(kLibraryFileUnknown),
                             L"Cannot determine the working folder for the scheduler");
    }
    const CBstr document(settings.ConfigurationDocument());
    HRESULT hr = put_Config(document.Get());
    if (hr == S_OK) {
        hr = put_Enabled(VARIANT_TRUE);
    }
    return hr;
}

HRESULT CZynTaskScheduler::Stop() {
    return put_Enabled(VARIANT_FALSE);
}

std::span<const DispatchMember<IZynTaskScheduler>> CZynTaskScheduler::DispatchMembers() {
    static constexpr DispatchMember<IZynTaskScheduler> kMembers[] = {
        DispatchPropertyGet<&IZynTaskScheduler::get_tasks, VT_DISPATCH>(L"Tasks", 1),
        DispatchPropertyGet<&IZynTaskScheduler::get_Config, VT_BSTR>(L"Config", 2),
        DispatchPropertyPut<&IZynTaskScheduler::put_Config, In(VT_BSTR)>(L"Config", 2),
        DispatchMethod<&IZynTaskScheduler::CreateTask, VT_DISPATCH, Optional()>(L"CreateTask", 3),
        DispatchMethod<&IZynTaskScheduler::AddTask, VT_EMPTY, In(VT_DISPATCH)>(L"AddTask", 4),
        DispatchPropertyGet<&IZynTaskScheduler::get_Enabled, VT_BOOL>(L"Enabled", 5),
        DispatchPropertyPut<&IZynTaskScheduler::put_Enabled, In(VT_BOOL)>(L"Enabled", 5),
        DispatchMethod<&IZynTaskScheduler::Start, VT_EMPTY>(L"Start", 6),
        DispatchMethod<&IZynTaskScheduler::Stop, VT_EMPTY>(L"Stop", 7),
    };
    return kMembers;
}
