#include "platform/ProcessInfo.h"

#include <cstdlib>
#include <vector>

#include "platform/Path.h"
#include "platform/ProcessAccount.h"
#include "platform/WideText.h"

std::wstring GetHostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring();
}

std::wstring CurrentProcessImagePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring CurrentProcessImageName() {
    return BaseName(CurrentProcessImagePath());
}

std::uint32_t GetEffectiveUserId() {
    return ProcessAccount::Current().Id();
}

std::wstring GetEnvironmentText(const char* name, bool& found) {
    const std::wstring wideName = Utf8ToWideLossy(name);
    const DWORD size = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    found = size > 0;
    if (!found) {
        return {};
    }
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

bool SetEnvironmentText(const char* name, const std::wstring& value) {
    // The C library keeps a copy of its own, which getenv reads: both are set.
    const std::wstring wideName = Utf8ToWideLossy(name);
    return ::SetEnvironmentVariableW(wideName.c_str(), value.c_str()) &&
           ::_wputenv_s(wideName.c_str(), value.c_str()) == 0;
}

bool ClearEnvironmentText(const char* name) {
    const std::wstring wideName = Utf8ToWideLossy(name);
    return ::SetEnvironmentVariableW(wideName.c_str(), nullptr) &&
           ::_wputenv_s(wideName.c_str(), L"") == 0;
}
