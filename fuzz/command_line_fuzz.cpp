// Command lines of task documents as the command-line handler splits them: whatever splits,
// each word quoted again and joined, splits back into the same words.
#include "fuzz/FuzzSupport.h"
#include "platform/CommandLine.h"

namespace {

// The word in single quotes; a quote inside ends the quoting, is escaped, and quoting resumes.
std::wstring Quoted(const std::wstring& word) {
    std::wstring quoted = L"'";
    for (const wchar_t c : word) {
        quoted += c == L'\'' ? std::wstring(L"'\\''") : std::wstring(1, c);
    }
    return quoted + L"'";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PrepareFuzzProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<std::vector<std::wstring>> words = SplitCommandLine(FuzzText(data, size));
    if (!words) {
        return 0;
    }
    std::wstring joined;
    for (const std::wstring& word : *words) {
        joined += (joined.empty() ? L"" : L" ") + Quoted(word);
    }
    const std::optional<std::vector<std::wstring>> again = SplitCommandLine(joined);
    FuzzCheck(again.has_value() && *again == *words, "quoted words split back into themselves");
    return 0;
}
