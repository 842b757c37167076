#include "platform/SharedLibrary.h"

#include <dlfcn.h>

#include "platform/WideText.h"

std::unique_ptr<SharedLibrary> SharedLibrary::Open(const std::wstring& path) {
    void* handle = ::dlopen(WideToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle == nullptr ? nullptr : std::unique_ptr<SharedLibrary>(new SharedLibrary(handle));
}

std::wstring SharedLibrary::FileName(std::wstring_view name) {
    return L"lib" + std::wstring(name) + L".so";
}

SharedLibrary::~SharedLibrary() {
    ::dlclose(m_handle);
}

void* SharedLibrary::Export(const char* name) const {
    return ::dlsym(m_handle, name);
}
