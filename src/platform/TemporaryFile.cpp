#include "platform/TemporaryFile.h"

#include "platform/FileSystem.h"

bool IsTemporaryName(std::wstring_view name) {
    return name.size() > kTemporarySuffixLength + 1 && name.front() == L'.' &&
           name[name.size() - kTemporarySuffixLength] == L'.';
}
