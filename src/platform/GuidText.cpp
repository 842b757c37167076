#include "platform/GuidText.h"

#include "ZynTaskSchedulerLib/Runtime.h"

namespace {

constexpr int kGuidTextCapacity = 39;  // 38 characters and the terminator

}  // namespace

std::wstring GuidText(REFGUID guid) {
    wchar_t text[kGuidTextCapacity] = {};
    StringFromGUID2(guid, text, kGuidTextCapacity);
    return text;
}
