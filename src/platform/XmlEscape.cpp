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
