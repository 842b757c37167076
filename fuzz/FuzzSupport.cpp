#include "fuzz/FuzzSupport.h"

#include <stdlib.h>

#include <clocale>
#include <cstdio>
#include <string_view>

#include "platform/WideText.h"
#include "support/LogSink.h"

namespace {

// Inputs log thousands of warnings a second; writing them anywhere would only slow the search.
class DiscardingSink final : public LogSink {
public:
    void Write(DWORD, const wchar_t*, const wchar_t*) override {}
};

}  // namespace

void PrepareFuzzProcess() {
    std::setlocale(LC_ALL, "C.UTF-8");
    static DiscardingSink sink;
    LogSink::Install(&sink);
    ::setenv("ZYN_REGISTRY", "/proc/zyn-fuzzing-has-no-registry", 1);
}

std::wstring FuzzText(const std::uint8_t* data, std::size_t size) {
    std::wstring text =
        Utf8ToWideLossy(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::size_t zero = text.find(L'\0');
    if (zero != std::wstring::npos) {
        text.resize(zero);
    }
    return text;
}

void FuzzCheck(bool holds, const char* promise) {
    if (!holds) {
        std::fprintf(stderr, "broken promise: %s\n", promise);
        std::abort();
    }
}
