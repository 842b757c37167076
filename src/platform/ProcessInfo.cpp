#include "platform/ProcessInfo.h"

#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "platform/Path.h"
#include "platform/WideText.h"

std::wstring GetHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof(name) - 1) != 0) {
        return {};
    }
    return Utf8ToWideLossy(name);
}

std::wstring CurrentProcessImagePath() {
    char path[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) {
        return {};
    }
    return Utf8ToWideLossy(std::string_view(path, static_cast<std::size_t>(length)));
}

std::wstring CurrentProcessImageName() {
    return BaseName(CurrentProcessImagePath());
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(::getpid());
}

DWORD GetCurrentThreadId() {
    return static_cast<DWORD>(::gettid());
}

std::uint32_t GetEffectiveUserId() {
    return static_cast<std::uint32_t>(::geteuid());
}

DWORD GetTickCount() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const auto millis = static_cast<unsigned long long>(now.tv_sec) * 1000ull +
                        static_cast<unsigned long long>(now.tv_nsec) / 1'000'000ull;
    return static_cast<DWORD>(millis);
}

std::wstring GetEnvironmentText(const char* name, bool& found) {
    const char* value = std::getenv(name);
    found = value != nullptr;
    return found ? Utf8ToWideLossy(value) : std::wstring();
}

bool SetEnvironmentText(const char* name, const std::wstring& value) {
    return ::setenv(name, WideToUtf8(value).c_str(), 1) == 0;
}

bool ClearEnvironmentText(const char* name) {
    return ::unsetenv(name) == 0;
}
