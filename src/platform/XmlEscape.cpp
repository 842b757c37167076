#include "platform/XmlDocument.h"

namespace {

const wchar_t* EntityOf(wchar_t character) {
    switch (character) {
        case L'&':
            return L"&amp;";
        case L'<':
            return L"&lt;";
        case L'>':
            return L"&gt;";
        case L'"':
            return L"&quot;";
        case L'\'':
            return L"&apos;";
        default:
            return nullptr;
    }
}

// Appends `text` with the characters of `escaped` as their entities.
void AppendWithEntities(std::wstring& out, std::wstring_view text, std::wstring_view escaped) {
    for (const wchar_t character : text) {
        if (escaped.find(character) != std::wstring_view::npos) {
            out += EntityOf(character);
        } else {
            out += character;
        }
    }
}

}  // namespace

void AppendXmlEscaped(std::wstring& out, std::wstring_view text) {
    AppendWithEntities(out, text, L"&<>\"'");
}

void AppendXmlMarkupText(std::wstring& out, std::wstring_view text, bool attribute) {
    AppendWithEntities(out, text, attribute ? L"&<>\"" : L"&<>");
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
