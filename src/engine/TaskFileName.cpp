#include "engine/TaskFileName.h"

#include "ZynTaskSchedulerLib/WorkFolder.h"

namespace {

constexpr std::wstring_view kExtension = kTaskDocumentExtension;

}  // namespace

bool TaskFileName::IsTaskFile(std::wstring_view name) {
    return name.ends_with(kExtension);
}

std::wstring_view TaskFileName::KeyOf(std::wstring_view taskFileName) {
    return taskFileName.substr(0, taskFileName.size() - kExtension.size());
}

std::wstring TaskFileName::Of(std::wstring_view identity) {
    return std::wstring(identity) + std::wstring(kExtension);
}
