#include "engine/EngineTexts.h"

#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/WallClock.h"
#include "platform/WideText.h"

namespace {
constexpr std::size_t kTextCapacity = 64;
}

std::wstring LocalTimeText() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return FormatText(kTextCapacity, L"%02d:%02d:%02d on %02d/%02d/%d", now.wHour, now.wMinute,
                      now.wSecond, now.wDay, now.wMonth, now.wYear);
}

std::wstring DateText(DATE date) {
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(date, &st)) {
        return {};
    }
    return FormatText(kTextCapacity, L"%02d/%02d/%04d %02d:%02d:%02d", st.wMonth, st.wDay, st.wYear,
                      st.wHour, st.wMinute, st.wSecond);
}
