#include "platform/Path.h"

namespace {

bool IsSeparator(wchar_t c) {
    return kPathSeparators.find(c) != std::wstring_view::npos;
}

std::wstring_view TrimTrailingSeparators(std::wstring_view path) {
    while (path.size() > 1 && IsSeparator(path.back())) {
        path.remove_suffix(1);
    }
    return path;
}

}  // namespace

std::wstring JoinPath(std::wstring_view base, std::wstring_view name) {
    while (!name.empty() && IsSeparator(name.front())) {
        name.remove_prefix(1);
    }
    std::wstring joined(TrimTrailingSeparators(base));
    if (!joined.empty() && !IsSeparator(joined.back()) && !name.empty()) {
        joined += kPathSeparator;
    }
    joined += name;
    return joined;
}

std::wstring ParentPath(std::wstring_view path) {
    path = TrimTrailingSeparators(path);
    const auto last = path.find_last_of(kPathSeparators);
    if (last == std::wstring_view::npos) {
        return {};
    }
    return last == 0 ? std::wstring(1, kPathSeparator) : std::wstring(path.substr(0, last));
}

std::wstring BaseName(std::wstring_view path) {
    path = TrimTrailingSeparators(path);
    const auto last = path.find_last_of(kPathSeparators);
    return std::wstring(last == std::wstring_view::npos ? path : path.substr(last + 1));
}

bool IsAbsolutePath(std::wstring_view path) {
#ifdef _WIN32
    const bool driveRoot = path.size() >= 3 && path[1] == L':' && IsSeparator(path[2]);
    const bool shareRoot = path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
    return driveRoot || shareRoot;
#else
    return !path.empty() && IsSeparator(path.front());
#endif
}
