// Intrusive reference count shared by the engine, threads, task definitions, triggers, list
// elements and queue entries, and the counted pointer that holds them. The count starts at 0;
// the creator adds the first reference (MakeCounted does), and the last Release destroys the
// object through DeleteThis. AddRef and Release may be called from any thread.
#pragma once

#include <atomic>
#include <utility>

#include "ZynTaskSchedulerLib/Types.h"

class CCERefCountBase {
public:
    CCERefCountBase(const CCERefCountBase&) = delete;
    CCERefCountBase& operator=(const CCERefCountBase&) = delete;
    virtual ~CCERefCountBase() = default;
    // Self-destruction, run by the last Release.
    virtual void DeleteThis() { delete this; }

    ULONG AddRef() { return static_cast<ULONG>(m_refCount.fetch_add(1) + 1); }
    ULONG Release() {
        const LONG remaining = m_refCount.fetch_sub(1) - 1;
        if (remaining == 0) {
            DeleteThis();
        }
        return static_cast<ULONG>(remaining);
    }

protected:
    CCERefCountBase() = default;

private:
    std::atomic<LONG> m_refCount{0};
};

// Holds one reference: adds one when made from a pointer or copied, releases it when reset,
// reassigned or destroyed.
template <class T>
class CountedPtr {
public:
    CountedPtr() = default;
    explicit CountedPtr(T* object) : m_object(object) {
        if (m_object != nullptr) {
            m_object->AddRef();
        }
    }
    CountedPtr(const CountedPtr& other) : CountedPtr(other.m_object) {}
    CountedPtr(CountedPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    template <class U>
    CountedPtr(const CountedPtr<U>& other) : CountedPtr(other.Get()) {}  // NOLINT: upcast
    CountedPtr& operator=(CountedPtr other) noexcept {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~CountedPtr() { Reset(); }

    void Reset() {
        if (T* old = std::exchange(m_object, nullptr)) {
            old->Release();
        }
    }
    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    friend bool operator==(const CountedPtr& a, const CountedPtr& b) {
        return a.m_object == b.m_object;
    }

private:
    T* m_object = nullptr;
};

// The factory of counted objects: constructs and adds the creator's reference.
template <class T, class... Args>
CountedPtr<T> MakeCounted(Args&&... args) {
    return CountedPtr<T>(new T(std::forward<Args>(args)...));
}
