// GUID text is the registry form: braces, upper-case hexadecimal, 38 characters.
#include <sys/random.h>

#include <cerrno>
#include <cwchar>

#include "ZynTaskSchedulerLib/Runtime.h"

namespace {

constexpr int kGuidTextLength = 38;

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    return -1;
}

// Reads `digits` hexadecimal digits at text[pos]; false when any of them is not one.
bool ReadHex(LPCOLESTR text, int pos, int digits, std::uint64_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = HexValue(text[pos + i]);
        if (digit < 0) {
            return false;
        }
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    return true;
}

}  // namespace

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* pclsid) {
    if (pclsid == nullptr) {
        return E_INVALIDARG;
    }
    if (text == nullptr || std::wcslen(text) != kGuidTextLength || text[0] != L'{' ||
        text[9] != L'-' || text[14] != L'-' || text[19] != L'-' || text[24] != L'-' ||
        text[37] != L'}') {
        return CO_E_CLASSSTRING;
    }
    CLSID result{};
    std::uint64_t value = 0;
    bool ok = ReadHex(text, 1, 8, value);
    result.Data1 = static_cast<std::uint32_t>(value);
    ok = ok && ReadHex(text, 10, 4, value);
    result.Data2 = static_cast<std::uint16_t>(value);
    ok = ok && ReadHex(text, 15, 4, value);
    result.Data3 = static_cast<std::uint16_t>(value);
    constexpr int kByteOffsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; ok && i < 8; ++i) {
        ok = ReadHex(text, kByteOffsets[i], 2, value);
        result.Data4[i] = static_cast<std::uint8_t>(value);
    }
    if (!ok) {
        return CO_E_CLASSSTRING;
    }
    *pclsid = result;
    return S_OK;
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax) {
    if (buffer == nullptr || cchMax < kGuidTextLength + 1) {
        return 0;
    }
    swprintf(buffer, static_cast<std::size_t>(cchMax),
             L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2,
             guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
             guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return kGuidTextLength + 1;
}

HRESULT CoCreateGuid(GUID* pguid) {
    if (pguid == nullptr) {
        return E_INVALIDARG;
    }
    GUID guid{};
    std::size_t filled = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&guid);
    while (filled < sizeof(guid)) {
        const ssize_t got = getrandom(bytes + filled, sizeof(guid) - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return E_FAIL;
        }
        filled += static_cast<std::size_t>(got);
    }
    // A random (version 4, variant 1) identity.
    guid.Data3 = static_cast<std::uint16_t>((guid.Data3 & 0x0FFF) | 0x4000);
    guid.Data4[0] = static_cast<std::uint8_t>((guid.Data4[0] & 0x3F) | 0x80);
    *pguid = guid;
    return S_OK;
}
