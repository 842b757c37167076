// Counted reference to an interface: adds a reference when copied, releases it when reset or
// destroyed. One holder per thread at a time, like any value.
#pragma once

#include <utility>

#include "ZynTaskSchedulerLib/Unknown.h"

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* pointer) : m_pointer(pointer) {  // NOLINT: takes a new reference, as COM does
        if (m_pointer != nullptr) {
            m_pointer->AddRef();
        }
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_pointer) {}
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_pointer, other.m_pointer);
        return *this;
    }
    ~ComPtr() { Reset(); }

    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* pointer) {
        ComPtr result;
        result.m_pointer = pointer;
        return result;
    }
    // Gives the held reference to the caller.
    T* Detach() { return std::exchange(m_pointer, nullptr); }

    void Reset() {
        if (T* old = std::exchange(m_pointer, nullptr)) {
            old->Release();
        }
    }
    // Releases the held reference and exposes the slot for an out-parameter.
    T** Receive() {
        Reset();
        return &m_pointer;
    }

    T* Get() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    T& operator*() const { return *m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

private:
    T* m_pointer = nullptr;
};
