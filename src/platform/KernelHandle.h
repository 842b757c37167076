// Owner of one Windows kernel handle (a file, an event, a process, a job, a find or change
// notification handle is not one: those have their own closers): closes it when destroyed.
// Move-only; one owner at a time. Windows only.
#pragma once

#include <windows.h>

#include <utility>

class KernelHandle {
public:
    KernelHandle() = default;
    // Takes `handle`; null and INVALID_HANDLE_VALUE both mean none.
    explicit KernelHandle(HANDLE handle)
        : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    KernelHandle(KernelHandle&& other) noexcept
        : m_handle(std::exchange(other.m_handle, nullptr)) {}
    KernelHandle& operator=(KernelHandle&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.m_handle, nullptr));
        }
        return *this;
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    ~KernelHandle() { Reset(); }

    HANDLE Get() const { return m_handle; }
    bool IsValid() const { return m_handle != nullptr; }
    void Reset(HANDLE handle = nullptr) {
        if (m_handle != nullptr) {
            ::CloseHandle(m_handle);
        }
        m_handle = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }

private:
    HANDLE m_handle = nullptr;
};
