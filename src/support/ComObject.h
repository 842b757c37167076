// The object framework of the library's COM classes. A class derives from CObjectRoot and
// from the interfaces it implements, and states them in an interface table:
//
//   class CSample : public CObjectRoot, public ISample, public ISupportErrorInfo {
//   public:
//       using Interfaces = InterfaceTable<Implements<IID_ISample, ISample>,
//                                         Implements<IID_IDispatch, IDispatch, ISample>,
//                                         Implements<IID_ISupportErrorInfo, ISupportErrorInfo>>;
//       ...
//   };
//
// The object itself is a CComInstance<CSample>: it adds the interlocked reference count,
// QueryInterface over the table and, when made with an outer object, aggregation (every
// interface then delegates its IUnknown calls to the outer object, which holds the inner,
// non-delegating IUnknown). A class may hide FinalConstruct (run once the object is complete,
// a failure ends the creation) and FinalRelease (run before the last reference destroys it),
// and sets kAggregatable to false to refuse an outer object. Live objects lock the library
// (ModuleLocks). Objects are free-threaded: the count and the table need no lock; the class
// guards its own state.
#pragma once

#include <atomic>
#include <new>
#include <utility>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/HResults.h"
#include "support/ModuleLocks.h"

// One row of an interface table: the identity `Iid` answers `Interface`, reached through the
// base `Via` where the class derives from `Interface` more than once (IDispatch under a dual
// interface, say).
template <const IID& Iid, class Interface, class Via = Interface>
struct Implements {};

template <class... Rows>
struct InterfaceTable {};

class CObjectRoot {
public:
    static constexpr bool kAggregatable = true;

    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}

protected:
    CObjectRoot() = default;
    ~CObjectRoot() = default;
};

template <class T>
class CComInstance final : public T {
public:
    CComInstance(const CComInstance&) = delete;
    CComInstance& operator=(const CComInstance&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return m_controlling->QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return m_controlling->AddRef(); }
    ULONG Release() override { return m_controlling->Release(); }

    // Makes an object, with `args` for the class's constructor, and hands out `riid` of it.
    // With an outer object, the answer is the inner IUnknown and `riid` must be IID_IUnknown.
    template <class... Args>
    static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv, Args&&... args) {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer != nullptr && (!T::kAggregatable || riid != IID_IUnknown)) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* object = new (std::nothrow) CComInstance(outer, std::forward<Args>(args)...);
        if (object == nullptr) {
            return E_OUTOFMEMORY;
        }
        object->m_inner.AddRef();  // holds the object through FinalConstruct
        HRESULT hr = object->FinalConstruct();
        if (SUCCEEDED(hr)) {
            hr = object->m_inner.QueryInterface(riid, ppv);
        }
        object->m_inner.Release();  // the object goes here when nothing took a reference
        return hr;
    }

    // Makes a plain object for the library's own use.
    template <class... Args>
    static HRESULT Make(ComPtr<CComInstance>& result, Args&&... args) {
        IUnknown* unknown = nullptr;
        const HRESULT hr = Create(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown),
                                  std::forward<Args>(args)...);
        if (SUCCEEDED(hr)) {
            result = ComPtr<CComInstance>::Attach(static_cast<Inner*>(unknown)->Owner());
        }
        return hr;
    }

private:
    template <class... Args>
    explicit CComInstance(IUnknown* outer, Args&&... args)
        : T(std::forward<Args>(args)...),
          m_inner(*this),
          m_controlling(outer != nullptr ? outer : &m_inner) {
        ModuleLocks::Lock();
    }
    ~CComInstance() = default;

    // The non-delegating IUnknown: the count and the table.
    class Inner final : public IUnknown {
    public:
        explicit Inner(CComInstance& owner) : m_owner(owner) {}
        CComInstance* Owner() { return &m_owner; }

        HRESULT QueryInterface(REFIID riid, void** ppv) override {
            if (ppv == nullptr) {
                return E_POINTER;
            }
            if (riid == IID_IUnknown) {
                *ppv = this;
                AddRef();
                return S_OK;
            }
            *ppv = nullptr;
            if (!m_owner.FindInterface(typename T::Interfaces{}, riid, ppv)) {
                return E_NOINTERFACE;
            }
            static_cast<IUnknown*>(*ppv)->AddRef();  // through the controlling unknown
            return S_OK;
        }
        ULONG AddRef() override { return ++m_count; }
        ULONG Release() override {
            const ULONG remaining = --m_count;
            if (remaining == 0) {
                m_count = 1;  // calls FinalRelease makes through the object cannot free it again
                m_owner.FinalRelease();
                delete &m_owner;
                // Last, so that the library is not unloaded while the object is destroyed.
                ModuleLocks::Unlock();
            }
            return remaining;
        }

    private:
        CComInstance& m_owner;
        std::atomic<ULONG> m_count{0};
    };

    template <const IID& Iid, class Interface, class Via>
    bool FindRow(Implements<Iid, Interface, Via>, REFIID riid, void** ppv) {
        if (riid != Iid) {
            return false;
        }
        *ppv = static_cast<Interface*>(static_cast<Via*>(static_cast<T*>(this)));
        return true;
    }
    template <class... Rows>
    bool FindInterface(InterfaceTable<Rows...>, REFIID riid, void** ppv) {
        return (FindRow(Rows{}, riid, ppv) || ...);
    }

    Inner m_inner;
    IUnknown* m_controlling;
};
