#include "automation/PointerChecks.h"

#include <cstdint>

#include "platform/MemoryProbe.h"
#include "platform/WideText.h"
#include "support/ThrowError.h"

namespace {

constexpr std::size_t kMessageCapacity = 256;

[[noreturn]] void ThrowBadPointer(const void* pointer, const wchar_t* messageFormat) {
    CEThrowError(E_POINTER,
                 FormatText(kMessageCapacity, messageFormat,
                            static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(pointer))));
}

}  // namespace

void CheckWritable(const void* pointer, std::size_t size, const wchar_t* messageFormat) {
    if (pointer == nullptr || !IsWritableMemory(pointer, size)) {
        ThrowBadPointer(pointer, messageFormat);
    }
}

void CheckReadable(const void* pointer, std::size_t size, const wchar_t* messageFormat) {
    if (pointer == nullptr || !IsReadableMemory(pointer, size)) {
        ThrowBadPointer(pointer, messageFormat);
    }
}
