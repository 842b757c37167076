#include "support/TextFile.h"

#include <optional>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/SystemMessage.h"
#include "platform/WideText.h"
#include "support/FileRetry.h"
#include "support/LogCall.h"

namespace {

constexpr std::string_view kUtf16Mark = "\xFF\xFE";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool IsUtf8CodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_UTF8;
}

std::optional<std::wstring> DecodeWithCodePage(std::string_view bytes, UINT codePage) {
    if (IsUtf8CodePage(codePage)) {
        return Utf8ToWide(bytes);
    }
    if (codePage == CP_UTF16LE) {
        return Utf16LeToWide(bytes.substr(0, bytes.size() & ~std::size_t{1}));
    }
    return std::nullopt;
}

std::optional<std::wstring> Decode(std::string_view bytes, UINT codePage) {
    if (bytes.starts_with(kUtf16Mark) || bytes.starts_with(kUtf8Mark)) {
        return DecodeFileText(bytes);
    }
    return DecodeWithCodePage(bytes, codePage);
}

// A zero character ends the text, as the terminator of a read buffer would; CR LF becomes
// LF, a lone CR stays.
std::wstring ToMemoryText(const std::wstring& decoded) {
    std::wstring text;
    text.reserve(decoded.size());
    for (std::size_t i = 0; i < decoded.size() && decoded[i] != L'\0'; ++i) {
        if (decoded[i] == L'\r' && i + 1 < decoded.size() && decoded[i + 1] == L'\n') {
            continue;
        }
        text += decoded[i];
    }
    return text;
}

std::wstring ToDiskText(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) {
            out += L'\r';
        }
        out += text[i];
    }
    return out;
}

struct EncodedText {
    std::string_view mark;
    std::string bytes;
};

EncodedText Encode(const std::wstring& text, UINT codePage) {
    if (IsUtf8CodePage(codePage)) {
        return {codePage == CP_UTF8 ? kUtf8Mark : std::string_view(), WideToUtf8(text)};
    }
    if (codePage != CP_UTF16LE) {
        const std::wstring reason = SystemMessageText(ERROR_INVALID_PARAMETER);
        CEReportEventFormat(CE_SEVERITY_WARNING, L"SaveEncodedTextFile",
                            L"Failed to convert unicode data to multibyte, saving as 16-bit "
                            L"unicode: %ls (%d)",
                            reason.c_str(), static_cast<int>(ERROR_INVALID_PARAMETER));
    }
    return {kUtf16Mark, WideToUtf16Le(text)};
}

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

}  // namespace

bool ReadTextFile(std::wstring_view path, std::wstring& text, UINT codePage) {
    if (path.empty()) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::string bytes;
    const DWORD error = FileRetry::Run(
        L"create", path, [&] { return ReadRegularFile(path, bytes, kMaxTextFileBytes); });
    if (error != ERROR_SUCCESS) {
        return Fail(error);
    }
    const std::optional<std::wstring> decoded = Decode(bytes, codePage);
    if (!decoded) {
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
    }
    text = ToMemoryText(*decoded);
    return true;
}

bool SaveEncodedTextFile(std::wstring_view path, std::wstring_view text, UINT codePage,
                         bool durable) {
    if (path.empty()) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const EncodedText encoded = Encode(ToDiskText(text), codePage);
    const std::vector<std::string_view> parts{encoded.mark, encoded.bytes};
    const DWORD error = FileRetry::Run(L"create", path,
                                       [&] { return ReplaceFileAtomically(path, parts, durable); });
    return error == ERROR_SUCCESS || Fail(error);
}
