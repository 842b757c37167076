#include "support/AgentLogFiles.h"

#include <limits>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Path.h"

namespace {

// A rename that keeps finding its target taken gives up after this many numbers.
constexpr DWORD kMaxRotationNumber = 100000;

}  // namespace

CAgentLogFiles::CAgentLogFiles(std::wstring folder, std::wstring fileName)
    : m_folder(std::move(folder)), m_filePath(JoinPath(m_folder, fileName)) {
    const auto dot = fileName.rfind(L'.');
    m_stem = dot == std::wstring::npos ? fileName : fileName.substr(0, dot);
    m_extension = dot == std::wstring::npos ? L"" : fileName.substr(dot);
}

bool CAgentLogFiles::PrepareForWrite(std::uint64_t maxBytes, DWORD maxFiles) {
    FileStatus status;
    if (QueryFileStatus(m_filePath, status) != ERROR_SUCCESS || status.size <= maxBytes) {
        return true;
    }
    Census census = CountRotationFiles(maxFiles);
    if (census.count >= maxFiles) {
        if (!census.oldest.empty()) {
            if (RemoveFile(census.oldest) != ERROR_SUCCESS) {
                return false;
            }
            --census.count;
        }
        if (census.count >= maxFiles) {
            return true;  // nothing to make room with: the current file keeps growing
        }
    }
    return RenameToFreeNumber();
}

bool CAgentLogFiles::Append(std::string_view record) {
    return AppendToFile(m_filePath, record) == ERROR_SUCCESS;
}

// Visits at most `maxFiles` entries named stem*extension, and among those other than the
// current file remembers the one written longest ago (the first found wins a tie).
CAgentLogFiles::Census CAgentLogFiles::CountRotationFiles(DWORD maxFiles) const {
    Census census;
    std::vector<DirectoryEntry> entries;
    if (ListDirectory(m_folder, entries) != ERROR_SUCCESS) {
        return census;
    }
    std::int64_t oldestTime = std::numeric_limits<std::int64_t>::max();
    for (const DirectoryEntry& entry : entries) {
        if (census.count >= maxFiles) {
            break;
        }
        const std::wstring& name = entry.name;
        if (entry.isDirectory || name.size() < m_stem.size() + m_extension.size() ||
            !name.starts_with(m_stem) || !name.ends_with(m_extension)) {
            continue;
        }
        ++census.count;
        const std::wstring path = JoinPath(m_folder, name);
        FileStatus status;
        if (path != m_filePath && QueryFileStatus(path, status) == ERROR_SUCCESS &&
            status.modifiedNanoseconds < oldestTime) {
            oldestTime = status.modifiedNanoseconds;
            census.oldest = path;
        }
    }
    return census;
}

bool CAgentLogFiles::RenameToFreeNumber() {
    for (DWORD n = 1; n <= kMaxRotationNumber; ++n) {
        const std::wstring target = JoinPath(m_folder, m_stem + std::to_wstring(n) + m_extension);
        const DWORD error = RenameNoReplace(m_filePath, target);
        if (error == ERROR_SUCCESS) {
            return true;
        }
        if (error != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}
