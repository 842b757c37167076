#include "automation/ServerLibraryFile.h"

#include "platform/ModuleFile.h"

namespace {

// Any object of this file lies in the library's own image.
const char kAnchor = 0;

}  // namespace

std::wstring ServerLibraryFile() {
    return ModuleFileOf(&kAnchor);
}
