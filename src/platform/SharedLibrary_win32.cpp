#include "platform/SharedLibrary.h"

#include <windows.h>

std::unique_ptr<SharedLibrary> SharedLibrary::Open(const std::wstring& path) {
    // The library's own dependencies are looked for beside it first.
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module == nullptr ? nullptr : std::unique_ptr<SharedLibrary>(new SharedLibrary(module));
}

std::wstring SharedLibrary::FileName(std::wstring_view name) {
    return std::wstring(name) + L".dll";
}

SharedLibrary::~SharedLibrary() {
    ::FreeLibrary(static_cast<HMODULE>(m_handle));
}

void* SharedLibrary::Export(const char* name) const {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(m_handle), name));
}
