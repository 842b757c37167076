// Conversions between the library's wide text and the byte encodings met at the system's
// edges (UTF-8 for paths, arguments and files; UTF-16LE inside files), and the one place where
// printf-style wide messages are formatted. Stateless and thread-safe.
#pragma once

#include <cstdarg>
#include <optional>
#include <string>
#include <string_view>

// Strict UTF-8 decoding: nullopt for any malformed, overlong or surrogate sequence.
std::optional<std::wstring> Utf8ToWide(std::string_view bytes);
// Lenient decoding for text that must be shown whatever it holds (system messages, paths in
// log lines): each malformed byte becomes U+FFFD.
std::wstring Utf8ToWideLossy(std::string_view bytes);
// Encodes every character; an unpaired surrogate or a value beyond U+10FFFF becomes U+FFFD.
std::string WideToUtf8(std::wstring_view text);

// UTF-16LE bytes without a mark; nullopt for an odd length or an unpaired surrogate.
std::optional<std::wstring> Utf16LeToWide(std::string_view bytes);
std::string WideToUtf16Le(std::wstring_view text);

// The text of a file as the library reads them: UTF-16LE after an FF FE mark (an odd last
// byte is no character), else strict UTF-8 with any EF BB BF mark dropped.
std::optional<std::wstring> DecodeFileText(std::string_view bytes);

// `text` without the white space (as the C library's iswspace tells it) at either end.
std::wstring TrimmedText(std::wstring_view text);

// printf-style formatting into at most `capacity` wide characters (terminator included);
// longer output is cut. Wide string arguments take %ls.
std::wstring FormatText(std::size_t capacity, const wchar_t* format, ...);
std::wstring FormatTextV(std::size_t capacity, const wchar_t* format, va_list args);
