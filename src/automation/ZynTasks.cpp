#include "automation/ZynTasks.h"

#include <limits>

#include "automation/PointerChecks.h"
#include "support/MethodGuard.h"
#include "support/ScopedLock.h"

namespace {

constexpr wchar_t kClassName[] = L"CZynTasks";
// The members that set error records log under the scheduler's component name.
const AutomationIdentity kIdentity{IID_IZynTasks, kProgIdZynTasks, L"Task Scheduler"};

template <class Body>
HRESULT GuardedProperty(const wchar_t* member, Body&& body) {
    return GuardAutomationMethod({kClassName, member}, kIdentity, std::forward<Body>(body));
}

template <class Body>
HRESULT GuardedWalk(const wchar_t* member, Body&& body) {
    return GuardAndLog({kClassName, member, GuardStyle::Colon}, kClassName,
                       std::forward<Body>(body));
}

void RequireSlot(const void* slot) {
    if (slot == nullptr) {
        throw E_POINTER;
    }
}

}  // namespace

CZynTasks::CZynTasks()
    : m_shared(std::make_shared<SharedList>()), m_lock(m_shared->lock), m_list(nullptr) {}

CZynTasks::CZynTasks(CountedPtr<CZynTaskSchedulerThread> engine)
    : m_engine(std::move(engine)),
      m_shared(MakeSharedList(m_engine)),
      m_lock(m_shared->lock),
      m_list(m_shared->list.get()) {
    Reset();
}

// The collection's tasks get the task-log flag off.
std::shared_ptr<CZynTasks::SharedList> CZynTasks::MakeSharedList(
    const CountedPtr<CZynTaskSchedulerThread>& engine) {
    auto shared = std::make_shared<SharedList>();
    shared->list = std::make_unique<CZynTasksList>(engine, 0);
    return shared;
}

CZynTasks::CZynTasks(CountedPtr<CZynTaskSchedulerThread> engine, std::shared_ptr<SharedList> shared,
                     ULONG position)
    : m_engine(std::move(engine)),
      m_shared(std::move(shared)),
      m_lock(m_shared->lock),
      m_list(m_shared->list.get()),
      m_position(position) {}

ComPtr<IZynTask> CZynTasks::TaskAt(ULONG position) {
    const CountedPtr<CZynTaskListElement> element = m_list->GetTask(position);
    return element ? element->Task : ComPtr<IZynTask>();
}

HRESULT CZynTasks::get_Count(LONG* pVal) {
    return GuardedProperty(L"get_Count", [&] {
        CheckWritable(pVal, sizeof(LONG), L"Can't write to long at %x");
        const ScopedLock lock(m_lock);
        *pVal = m_list == nullptr ? 0 : static_cast<LONG>(m_list->GetCount());
    });
}

HRESULT CZynTasks::get__NewEnum(IEnumUnknown** pVal) {
    return GuardedProperty(L"get__NewEnum", [&] { return MakeClone(pVal); });
}

HRESULT CZynTasks::Clone(IEnumUnknown** ppenum) {
    return get__NewEnum(ppenum);
}

HRESULT CZynTasks::MakeClone(IEnumUnknown** clone) {
    RequireSlot(clone);
    ULONG position = 0;
    {
        const ScopedLock lock(m_lock);
        position = m_position;
    }
    return CoZynTasks::Create(nullptr, IID_IEnumUnknown, reinterpret_cast<void**>(clone), m_engine,
                              m_shared, position);
}

HRESULT CZynTasks::get_Item(LONG index, IZynTask** pTask) {
    return GuardedProperty(L"get_Item", [&]() -> HRESULT {
        RequireSlot(pTask);
        const ScopedLock lock(m_lock);
        *pTask = nullptr;
        if (m_list == nullptr || index < 0 || static_cast<ULONG>(index) >= m_list->GetCount()) {
            return S_FALSE;
        }
        *pTask = TaskAt(static_cast<ULONG>(index)).Detach();
        return *pTask == nullptr ? S_FALSE : S_OK;
    });
}

HRESULT CZynTasks::Next(ULONG n, IZynTask** tasks, ULONG* Count) {
    return NextInto(n, tasks, Count);
}

HRESULT CZynTasks::Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) {
    return NextInto(celt, rgelt, pceltFetched);
}

HRESULT CZynTasks::NextThroughDispatch(ULONG n, IZynTask** task, ULONG* count) {
    return n > 1 ? E_INVALIDARG : Next(n, task, count);
}

// A failure part way leaves the caller with no tasks: those already stored are released.
template <class Slot>
HRESULT CZynTasks::NextInto(ULONG n, Slot** slots, ULONG* count) {
    ULONG stored = 0;
    const HRESULT hr = GuardedWalk(L"Next", [&] {
        if (n > 0) {
            RequireSlot(slots);
        }
        const ScopedLock lock(m_lock);
        while (stored < n && m_list != nullptr && m_position < m_list->GetCount()) {
            slots[stored] = TaskAt(m_position).Detach();
            ++stored;
            ++m_position;
        }
    });
    if (FAILED(hr)) {
        for (ULONG slot = 0; slot < stored; ++slot) {
            if (slots[slot] != nullptr) {
                slots[slot]->Release();
                slots[slot] = nullptr;
            }
        }
        stored = 0;
    }
    if (count != nullptr) {
        *count = stored;
    }
    return hr;
}

// No bound: a position past the end makes Next hand out nothing.
HRESULT CZynTasks::Skip(ULONG n) {
    const ScopedLock lock(m_lock);
    const ULONG room = std::numeric_limits<ULONG>::max() - m_position;
    m_position += n < room ? n : room;
    return S_OK;
}

HRESULT CZynTasks::Reset() {
    return GuardedWalk(L"Reset", [&]() -> HRESULT {
        const ScopedLock lock(m_lock);
        if (m_list == nullptr) {
            return S_OK;
        }
        m_position = 0;
        return m_list->UpdateTaskList();
    });
}

// A key in GUID form is an identity; anything else is a schedule name.
HRESULT CZynTasks::GetTask(BSTR bstrId, IZynTask** ppTask) {
    return GuardedWalk(L"GetTask", [&]() -> HRESULT {
        RequireSlot(ppTask);
        const ScopedLock lock(m_lock);
        *ppTask = nullptr;
        if (m_list == nullptr) {
            return S_FALSE;
        }
        const CountedPtr<CZynTaskListElement> element =
            m_list->GetTask(std::wstring_view(bstrId == nullptr ? L"" : bstrId));
        if (!element) {
            return S_FALSE;
        }
        *ppTask = ComPtr<IZynTask>(element->Task).Detach();
        return S_OK;
    });
}

std::span<const DispatchMember<CZynTasks>> CZynTasks::DispatchMembers() {
    static constexpr DispatchMember<CZynTasks> kMembers[] = {
        DispatchPropertyGet<&CZynTasks::get_Count, VT_I4>(L"Count", 1),
        DispatchPropertyGet<&CZynTasks::get__NewEnum, VT_UNKNOWN>(L"_NewEnum", 2),
        DispatchPropertyGet<&CZynTasks::get_Item, VT_DISPATCH, In(VT_I4)>(L"Item", 3),
        DispatchMethod<&CZynTasks::NextThroughDispatch, VT_EMPTY, In(VT_UI4), Out(VT_DISPATCH),
                       Out(VT_UI4)>(L"Next", 4),
        DispatchMethod<&CZynTasks::Skip, VT_EMPTY, In(VT_UI4)>(L"Skip", 5),
        DispatchMethod<&CZynTasks::Reset, VT_EMPTY>(L"Reset", 6),
        DispatchMethod<&CZynTasks::GetTask, VT_DISPATCH, In(VT_BSTR)>(L"GetTask", 7),
    };
    return kMembers;
}

ComPtr<IZynTasks> MakeZynTasks(CountedPtr<CZynTaskSchedulerThread> engine) {
    ComPtr<CoZynTasks> tasks;
    const HRESULT hr = CoZynTasks::Make(tasks, std::move(engine));
    if (FAILED(hr)) {
        throw hr;
    }
    return ComPtr<IZynTasks>(static_cast<IZynTasks*>(tasks.Get()));
}
