#include "platform/NamedMutex.h"

#include "platform/SecurityAttributes.h"

std::unique_ptr<NamedMutex> NamedMutex::Open(std::wstring_view name, const ObjectAccess& access) {
    if (name.empty()) {
        ::SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    SecurityAttributes security(access.SecurityDescriptor());
    KernelHandle mutex(::CreateMutexW(security.Get(), FALSE, std::wstring(name).c_str()));
    if (!mutex.IsValid()) {
        return nullptr;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS && !access.AdmitsKernelObject(mutex.Get())) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return std::unique_ptr<NamedMutex>(new NamedMutex(std::move(mutex)));
}

DWORD NamedMutex::Acquire(DWORD timeoutMs) {
    return ::WaitForSingleObject(m_mutex.Get(), timeoutMs);
}

bool NamedMutex::Release() {
    return ::ReleaseMutex(m_mutex.Get()) != FALSE;
}
