#include "ZynTaskSchedulerLib/Registry.h"

#include "platform/WideText.h"

std::vector<BYTE> RegStringData(std::wstring_view text) {
    const std::string bytes = WideToUtf16Le(text);
    std::vector<BYTE> data(bytes.begin(), bytes.end());
    data.push_back(0);
    data.push_back(0);
    return data;
}

std::optional<std::wstring> RegStringText(const BYTE* data, DWORD size) {
    if (size == 0) {
        return std::wstring();
    }
    if (data == nullptr || size % 2 != 0 || data[size - 1] != 0 || data[size - 2] != 0) {
        return std::nullopt;
    }
    std::size_t units = 0;
    while (data[2 * units] != 0 || data[2 * units + 1] != 0) {
        ++units;
    }
    return Utf16LeToWide(std::string_view(reinterpret_cast<const char*>(data), 2 * units));
}
