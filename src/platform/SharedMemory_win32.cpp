// Sections are the system's named file mappings backed by the paging file; the system removes
// one when its last handle closes. Mutex-kind names never meet sections: the system keeps one
// namespace for both kinds and refuses a name of the other kind.
#include "platform/SharedMemory.h"

#include "platform/SecurityAttributes.h"

std::unique_ptr<SharedMemory> SharedMemory::Open(std::wstring_view name, std::size_t size,
                                                 const ObjectAccess& access, Kind kind) {
    if (name.empty()) {
        ::SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (size == 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::wstring systemName =
        std::wstring(name) + (kind == Kind::Mutex ? L".zyn-mutex" : L"");
    if (systemName.size() > MAX_PATH) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);  // the length the system documents
        return nullptr;
    }
    SecurityAttributes security(access.SecurityDescriptor());
    const auto wide = static_cast<std::uint64_t>(size);
    KernelHandle section(::CreateFileMappingW(INVALID_HANDLE_VALUE, security.Get(), PAGE_READWRITE,
                                              static_cast<DWORD>(wide >> 32),
                                              static_cast<DWORD>(wide), systemName.c_str()));
    if (!section.IsValid()) {
        return nullptr;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS && !access.AdmitsKernelObject(section.Get())) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    void* address = ::MapViewOfFile(section.Get(), FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (address == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<SharedMemory>(new SharedMemory(std::move(section), address));
}

SharedMemory::~SharedMemory() {
    ::UnmapViewOfFile(m_address);
}
