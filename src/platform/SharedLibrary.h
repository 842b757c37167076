// A shared library loaded into the process and the addresses of its exports; the library is
// unloaded when the object goes. Loading runs the library's initialisers. Thread-safe.
#pragma once

#include <memory>
#include <string>
#include <string_view>

class SharedLibrary {
public:
    // Null when the file cannot be loaded as a library of this process.
    static std::unique_ptr<SharedLibrary> Open(const std::wstring& path);
    // The file name the build gives the library `name`: "libNAME.so", or "NAME.dll" on Windows.
    static std::wstring FileName(std::wstring_view name);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of the export `name`; null when the library has none.
    void* Export(const char* name) const;

private:
    explicit SharedLibrary(void* handle) : m_handle(handle) {}

    void* m_handle;
};
