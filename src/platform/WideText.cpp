#include "platform/WideText.h"

#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

// Decodes one UTF-8 sequence at `pos`; nullopt when it is malformed, and `pos` then moves by
// one byte so that lossy decoding can resume.
std::optional<char32_t> DecodeUtf8(std::string_view bytes, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return std::nullopt;
    }
    if (pos + length > bytes.size()) {
        ++pos;
        return std::nullopt;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[pos + i]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return std::nullopt;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || IsSurrogate(value)) {
        ++pos;
        return std::nullopt;
    }
    pos += length;
    return value;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || IsSurrogate(c)) {
        c = kReplacement;
    }
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Wide text holds UTF-32 where wchar_t has 32 bits (Linux) and UTF-16 where it has 16
// (Windows): a character beyond U+FFFF takes a surrogate pair there.
constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

void AppendWide(std::wstring& out, char32_t c) {
    if (kWideIsUtf16 && c >= 0x10000) {
        out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += static_cast<wchar_t>(c);
    }
}

// Calls `visit` with each character of `text`; an unpaired surrogate or a value beyond
// U+10FFFF comes as U+FFFD.
template <class Visit>
void ForEachCharacter(std::wstring_view text, Visit visit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if (kWideIsUtf16) {
            c &= 0xFFFF;
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
                const char32_t low = static_cast<char32_t>(text[i + 1]) & 0xFFFF;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        visit(c > 0x10FFFF || IsSurrogate(c) ? kReplacement : c);
    }
}

}  // namespace

std::optional<std::wstring> Utf8ToWide(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (std::size_t pos = 0; pos < bytes.size();) {
        const auto c = DecodeUtf8(bytes, pos);
        if (!c) {
            return std::nullopt;
        }
        AppendWide(out, *c);
    }
    return out;
}

std::wstring Utf8ToWideLossy(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (std::size_t pos = 0; pos < bytes.size();) {
        AppendWide(out, DecodeUtf8(bytes, pos).value_or(kReplacement));
    }
    return out;
}

std::string WideToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    ForEachCharacter(text, [&out](char32_t c) { AppendUtf8(out, c); });
    return out;
}

std::optional<std::wstring> Utf16LeToWide(std::string_view bytes) {
    if (bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    std::wstring out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const char32_t unit =
            static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit < 0xD800 || unit > 0xDFFF) {
            AppendWide(out, unit);
            continue;
        }
        if (unit > 0xDBFF || i + 3 >= bytes.size()) {
            return std::nullopt;
        }
        const char32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                             (static_cast<unsigned char>(bytes[i + 3]) << 8);
        if (low < 0xDC00 || low > 0xDFFF) {
            return std::nullopt;
        }
        AppendWide(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
    }
    return out;
}

std::string WideToUtf16Le(std::wstring_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    auto appendUnit = [&out](char32_t unit) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    };
    ForEachCharacter(text, [&appendUnit](char32_t c) {
        if (c < 0x10000) {
            appendUnit(c);
        } else {
            appendUnit(0xD800 + ((c - 0x10000) >> 10));
            appendUnit(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    });
    return out;
}

std::wstring FormatText(std::size_t capacity, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatTextV(capacity, format, args);
    va_end(args);
    return text;
}

std::wstring FormatTextV(std::size_t capacity, const wchar_t* format, va_list args) {
    if (capacity == 0 || format == nullptr) {
        return {};
    }
    // Most messages are short: a small buffer on the stack first, the full capacity only
    // when the text does not fit in it.
    constexpr std::size_t kShortCapacity = 512;
    if (capacity > kShortCapacity) {
        wchar_t shortBuffer[kShortCapacity];
        va_list copy;
        va_copy(copy, args);
        const int written = vswprintf(shortBuffer, kShortCapacity, format, copy);
        va_end(copy);
        // A C library may answer the length the whole text would have, as snprintf does,
        // rather than -1, for a text that did not fit.
        if (written >= 0 && static_cast<std::size_t>(written) < kShortCapacity) {
            return std::wstring(shortBuffer, static_cast<std::size_t>(written));
        }
    }
    std::vector<wchar_t> buffer(capacity, L'\0');
    va_list copy;
    va_copy(copy, args);
    // vswprintf answers -1 both for an encoding error and for output that does not fit, and
    // leaves what fitted in the buffer; that is exactly the cut text.
    vswprintf(buffer.data(), capacity, format, copy);
    va_end(copy);
    buffer[capacity - 1] = L'\0';
    return std::wstring(buffer.data());
}

std::optional<std::wstring> DecodeFileText(std::string_view bytes) {
    constexpr std::string_view kUtf16Mark = "\xFF\xFE";
    constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    if (bytes.starts_with(kUtf16Mark)) {
        const std::string_view units = bytes.substr(kUtf16Mark.size());
        return Utf16LeToWide(units.substr(0, units.size() & ~std::size_t{1}));
    }
    return Utf8ToWide(bytes.starts_with(kUtf8Mark) ? bytes.substr(kUtf8Mark.size()) : bytes);
}

std::wstring TrimmedText(std::wstring_view text) {
    const auto isSpace = [](wchar_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; };
    std::size_t begin = 0;
    while (begin < text.size() && isSpace(text[begin])) {
        ++begin;
    }
    std::size_t end = text.size();
    while (end > begin && isSpace(text[end - 1])) {
        --end;
    }
    return std::wstring(text.substr(begin, end - begin));
}
