// The system's view of the address space (VirtualQuery), region by region.
#include "platform/MemoryProbe.h"

#include <windows.h>

#include <cstdint>

namespace {

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kWritable =
    PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

bool EveryRegionAllows(const void* address, std::size_t size, DWORD wanted) {
    auto begin = reinterpret_cast<std::uintptr_t>(address);
    if (begin == 0 || size > UINTPTR_MAX - begin) {
        return false;
    }
    const std::uintptr_t end = begin + size;
    while (begin < end) {
        MEMORY_BASIC_INFORMATION region{};
        if (::VirtualQuery(reinterpret_cast<const void*>(begin), &region, sizeof region) == 0 ||
            region.State != MEM_COMMIT || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0 ||
            (region.Protect & wanted) == 0) {
            return false;
        }
        begin = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    return true;
}

}  // namespace

bool IsReadableMemory(const void* address, std::size_t size) {
    return address != nullptr && (size == 0 || EveryRegionAllows(address, size, kReadable));
}

bool IsWritableMemory(const void* address, std::size_t size) {
    return address != nullptr && (size == 0 || EveryRegionAllows(address, size, kWritable));
}
