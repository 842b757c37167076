#include "platform/ModuleFile.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <memory>

#include "platform/WideText.h"

std::wstring ModuleFileOf(const void* address) {
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    // The loader reports the name it was given, which may be relative.
    const std::unique_ptr<char, decltype(&::free)> full(::realpath(info.dli_fname, nullptr),
                                                        &::free);
    return Utf8ToWideLossy(full ? full.get() : info.dli_fname);
}
