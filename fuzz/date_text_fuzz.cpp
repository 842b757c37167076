// Date texts as task documents, scripts and the command line hand them over: whatever reads as
// a date converts back to calendar fields, and those fields written out read as the same date.
#include "ZynTaskSchedulerLib/Runtime.h"
#include "fuzz/FuzzSupport.h"
#include "platform/WideText.h"

namespace {

constexpr LCID kInvariantLocale = 0x007F;
constexpr ULONG kLocaleNoUserOverride = 0x80000000;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PrepareFuzzProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = FuzzText(data, size);
    DATE date = 0;
    if (FAILED(VarDateFromStr(text.c_str(), kInvariantLocale, kLocaleNoUserOverride, &date))) {
        return 0;
    }
    SYSTEMTIME time{};
    FuzzCheck(VariantTimeToSystemTime(date, &time) != 0, "a date read from text converts back");
    const std::wstring written =
        FormatText(32, L"%04d-%02d-%02d %02d:%02d:%02d", time.wYear, time.wMonth, time.wDay,
                   time.wHour, time.wMinute, time.wSecond);
    DATE reread = 0;
    FuzzCheck(SUCCEEDED(VarDateFromStr(written.c_str(), kInvariantLocale, kLocaleNoUserOverride,
                                       &reread)),
              "a date written out reads again");
    FuzzCheck(reread == date, "a date written out reads as the same date");
    return 0;
}
