#include "platform/XmlDocument.h"

void AppendXmlEscaped(std::wstring& out, std::wstring_view text) {
    for (const wchar_t character : text) {
        switch (character) {
            case L'&':
                out += L"&amp;";
                break;
            case L'>':
                out += L"&gt;";
                break;
            case L'<':
                out += L"&lt;";
                break;
            case L'"':
                out += L"&quot;";
                break;
            case L'\'':
                out += L"&apos;";
                break;
            default:
                out += character;
        }
    }
}

bool IsXmlCharacter(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

std::wstring XmlAllowedText(std::wstring_view text) {
    std::wstring allowed(text);
    for (std::size_t i = 0; i < allowed.size(); ++i) {
        // Where wchar_t has 16 bits, a character beyond U+FFFF is a pair of surrogates.
        const bool pair = sizeof(wchar_t) == 2 && i + 1 < allowed.size() && allowed[i] >= 0xD800 &&
                          allowed[i] <= 0xDBFF && allowed[i + 1] >= 0xDC00 &&
                          allowed[i + 1] <= 0xDFFF;
        if (pair) {
            ++i;
        } else if (!IsXmlCharacter(static_cast<std::uint32_t>(allowed[i]))) {
            allowed[i] = L'\uFFFD';
        }
    }
    return allowed;
}
