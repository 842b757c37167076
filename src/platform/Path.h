// Path text: the one place that knows the separator (a slash on Linux; a backslash on Windows,
// where a slash in a path given to us separates as well). Pure string work; nothing touches
// the file system.
#pragma once

#include <string>
#include <string_view>

#ifdef _WIN32
inline constexpr wchar_t kPathSeparator = L'\\';
inline constexpr std::wstring_view kPathSeparators = L"\\/";
#else
inline constexpr wchar_t kPathSeparator = L'/';
inline constexpr std::wstring_view kPathSeparators = L"/";
#endif

// `base` and `name` joined by exactly one separator; either side may be empty.
std::wstring JoinPath(std::wstring_view base, std::wstring_view name);
// Everything before the last separator ("/" for a top-level entry, empty when there is none).
std::wstring ParentPath(std::wstring_view path);
// The part after the last separator.
std::wstring BaseName(std::wstring_view path);
// Whether `path` names the same place from any current folder: it starts at the root (on
// Windows at a drive's root, "C:\\", or a share's, "\\\\server").
bool IsAbsolutePath(std::wstring_view path);
