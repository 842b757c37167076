// The test handlers' library: two classes built on the object framework, with the two entry
// points a server library exports. See TestHandlers.h for what they do.
#include "execution/handlers/TestHandlers.h"

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"
#include "support/ClassFactory.h"
#include "support/ConnectionPointContainer.h"
#include "support/DispatchImpl.h"
#include "support/Eventually.h"

namespace {

std::wstring TextOf(BSTR text) {
    return {text == nullptr ? L"" : text, SysStringLen(text)};
}

std::wstring ElementText(const std::wstring& xml, const wchar_t* name) {
    XmlDocument document;
    std::wstring reason;
    if (!document.Load(xml, reason)) {
        return {};
    }
    const XmlNode node = document.SelectSingle(std::wstring(L"//") + name);
    return node ? node.Text() : std::wstring();
}

// What both handlers share: the task they were given and the record of their calls.
class CTestHandlerBase : public CObjectRoot,
                         public CDispatchImpl<IZynScheduledTaskHandler, CTestHandlerBase> {
public:
    // A processor calls its handlers through their interface, never late-bound.
    static std::span<const DispatchMember<IZynScheduledTaskHandler>> DispatchMembers() {
        return {};
    }

    void FinalRelease() { Record(L"Release"); }

    HRESULT CancelTask() override {
        Record(L"CancelTask");
        {
            const std::lock_guard lock(m_mutex);
            m_cancelled = true;
        }
        m_cancel.notify_all();
        return S_OK;
    }

protected:
    // Takes the task and records the call; answers the behaviour asked for.
    std::wstring Begin(const wchar_t* call, BSTR guid, BSTR xml) {
        const std::wstring document = TextOf(xml);
        {
            const std::lock_guard lock(m_mutex);
            m_guid = TextOf(guid);
            m_record = ElementText(document, L"TestRecord");
        }
        Record(call);
        return ElementText(document, L"TestBehaviour");
    }
    std::wstring Guid() {
        const std::lock_guard lock(m_mutex);
        return m_guid;
    }
    void WaitForCancel() {
        std::unique_lock lock(m_mutex);
        m_cancel.wait_for(lock, std::chrono::milliseconds(kHangGuardMs),
                          [this] { return m_cancelled; });
    }

private:
    void Record(const wchar_t* line) {
        const std::lock_guard lock(m_mutex);
        if (!m_record.empty()) {
            std::ofstream(WideToUtf8(m_record), std::ios::app) << WideToUtf8(line) << '\n';
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cancel;
    bool m_cancelled = false;
    std::wstring m_guid;
    std::wstring m_record;
};

class CTestEventHandler : public CTestHandlerBase, public CConnectionPointContainer {
public:
    using Interfaces =
        InterfaceTable<Implements<IID_IZynScheduledTaskHandler, IZynScheduledTaskHandler>,
                       Implements<IID_IDispatch, IDispatch, IZynScheduledTaskHandler>,
                       Implements<IID_IConnectionPointContainer, IConnectionPointContainer>>;

    CTestEventHandler() { SetConnectionPoints({&m_events}); }
    void FinalRelease() {
        CTestHandlerBase::FinalRelease();
        m_events.UnadviseAll();
    }

    HRESULT ProcessTaskAsync(BSTR guid, BSTR xml) override {
        const std::wstring behaviour = Begin(L"ProcessTaskAsync", guid, xml);
        if (behaviour == L"notimpl") {
            return E_NOTIMPL;
        }
        if (behaviour == L"asyncfail") {
            return E_FAIL;
        }
        if (behaviour == L"running") {
            Fire(Guid(), ST_TASK_RUNNING);
        } else if (behaviour == L"stranger") {
            Fire(kStrangerTaskGuid, ST_TASK_COMPLETED);
        } else if (behaviour != L"silent") {
            Fire(Guid(), ST_TASK_COMPLETED);
        }
        return S_OK;
    }
    HRESULT ProcessTask(BSTR guid, BSTR xml) override {
        Begin(L"ProcessTask", guid, xml);
        Fire(Guid(), ST_TASK_COMPLETED);
        return S_OK;
    }

private:
    void Fire(const std::wstring& id, TaskStatus status) {
        const CBstr text(id);
        VARIANT arguments[2]{};
        arguments[0].vt = VT_I4;
        arguments[0].lVal = status;
        arguments[1].vt = VT_BSTR;
        arguments[1].bstrVal = text.Get();
        DISPPARAMS params{arguments, nullptr, 2, 0};
        m_events.FireDispatch(DISPID_OnTaskStatus, params);
    }

    CConnectionPoint m_events{*this, DIID_IZynScheduledTaskHandlerEvents};
};

class CTestPlainHandler : public CTestHandlerBase {
public:
    using Interfaces =
        InterfaceTable<Implements<IID_IZynScheduledTaskHandler, IZynScheduledTaskHandler>,
                       Implements<IID_IDispatch, IDispatch, IZynScheduledTaskHandler>>;

    HRESULT ProcessTaskAsync(BSTR guid, BSTR xml) override {
        Begin(L"ProcessTaskAsync", guid, xml);
        return E_NOTIMPL;
    }
    HRESULT ProcessTask(BSTR guid, BSTR xml) override {
        const std::wstring behaviour = Begin(L"ProcessTask", guid, xml);
        if (behaviour == L"fail") {
            return E_FAIL;
        }
        if (behaviour == L"block") {
            WaitForCancel();
        }
        return S_OK;
    }
};

constexpr ClassEntry kClasses[] = {ClassEntryOf<CTestEventHandler>(CLSID_TestEventHandler),
                                   ClassEntryOf<CTestPlainHandler>(CLSID_TestPlainHandler)};

}  // namespace

ZYN_SERVER_ENTRY HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return GetClassObjectFromTable(kClasses, rclsid, riid, ppv);
}

ZYN_SERVER_ENTRY HRESULT DllCanUnloadNow() {
    return ModuleLocks::CanUnloadNow();
}
