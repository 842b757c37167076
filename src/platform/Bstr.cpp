// A BSTR points just past a 32-bit byte count, and its text is followed by a terminator, so
// that it reads as an ordinary zero-terminated wide string and still knows its length.
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "ZynTaskSchedulerLib/Runtime.h"

namespace {

constexpr std::size_t kPrefixSize = sizeof(wchar_t);  // keeps the text wchar_t-aligned

std::uint32_t* ByteCountOf(BSTR text) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(text) - kPrefixSize);
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
    if (bytes > 0xFFFFFFF0u) {
        return nullptr;
    }
    auto* block = static_cast<char*>(std::malloc(kPrefixSize + bytes + sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    auto* result = reinterpret_cast<BSTR>(block + kPrefixSize);
    *ByteCountOf(result) = static_cast<std::uint32_t>(bytes);
    if (text != nullptr) {
        std::memcpy(result, text, bytes);
    } else {
        std::memset(result, 0, bytes);
    }
    result[length] = L'\0';
    return result;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) {
        return nullptr;
    }
    return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}

UINT SysStringLen(BSTR text) {
    return text == nullptr ? 0 : *ByteCountOf(text) / sizeof(OLECHAR);
}

void SysFreeString(BSTR text) {
    if (text != nullptr) {
        std::free(reinterpret_cast<char*>(text) - kPrefixSize);
    }
}
