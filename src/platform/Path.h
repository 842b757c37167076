// Path text: the one place that knows the separator. Pure string work; nothing touches the
// file system.
#pragma once

#include <string>
#include <string_view>

inline constexpr wchar_t kPathSeparator = L'/';

// `base` and `name` joined by exactly one separator; either side may be empty.
std::wstring JoinPath(std::wstring_view base, std::wstring_view name);
// Everything before the last separator ("/" for a top-level entry, empty when there is none).
std::wstring ParentPath(std::wstring_view path);
// The part after the last separator.
std::wstring BaseName(std::wstring_view path);
