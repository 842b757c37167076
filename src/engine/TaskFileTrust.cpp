#include "engine/TaskFileTrust.h"

#include <unordered_set>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/ProcessInfo.h"
#include "support/LogCall.h"
#include "support/ScopedLock.h"

namespace {

constexpr wchar_t kLogSource[] = L"CZynTasksList";
constexpr std::uint32_t kRootUserId = 0;
constexpr std::uint32_t kGroupOrOthersWrite = 0022;

void LogRefusal(const std::wstring& path, TaskFileTrust::Refusal refusal, std::uint32_t ownerId) {
    switch (refusal) {
        case TaskFileTrust::Refusal::NotRegularFile:
            CEReportEventFormat(CE_SEVERITY_WARNING, kLogSource,
                                L"Skipping task file %ls: it is not a regular file", path.c_str());
            return;
        case TaskFileTrust::Refusal::ForeignOwner:
            CEReportEventFormat(CE_SEVERITY_WARNING, kLogSource,
                                L"Skipping task file %ls: it is owned by user %u, not by this "
                                L"process's user or root",
                                path.c_str(), static_cast<unsigned>(ownerId));
            return;
        case TaskFileTrust::Refusal::WritableByOthers:
            CEReportEventFormat(CE_SEVERITY_WARNING, kLogSource,
                                L"Skipping task file %ls: it is writable by group or others",
                                path.c_str());
            return;
        case TaskFileTrust::Refusal::None:
        case TaskFileTrust::Refusal::Missing:
            return;
    }
}

}  // namespace

TaskFileTrust::Refusal TaskFileTrust::Examine(const std::wstring& path, std::uint32_t& ownerId) {
    FileStatus status;
    if (QueryFileStatus(path, status) != ERROR_SUCCESS) {
        return Refusal::Missing;
    }
    ownerId = status.ownerId;
    if (status.isSymbolicLink || !status.isRegularFile) {
        return Refusal::NotRegularFile;
    }
    if (status.ownerId != kRootUserId && status.ownerId != GetEffectiveUserId()) {
        return Refusal::ForeignOwner;
    }
    if ((status.mode & kGroupOrOthersWrite) != 0) {
        return Refusal::WritableByOthers;
    }
    return Refusal::None;
}

bool TaskFileTrust::IsTrusted(const std::wstring& path) {
    std::uint32_t ignored = 0;
    return Examine(path, ignored) == Refusal::None;
}

bool TaskFileTrust::Admit(const std::wstring& path) {
    std::uint32_t ownerId = 0;
    const Refusal refusal = Examine(path, ownerId);
    if (refusal == Refusal::None) {
        ScopedLock lock(m_lock);
        m_logged.erase(path);
        return true;
    }
    if (IsNews(path, refusal)) {
        LogRefusal(path, refusal, ownerId);
    }
    return false;
}

bool TaskFileTrust::IsNews(const std::wstring& path, Refusal refusal) {
    ScopedLock lock(m_lock);
    const auto [entry, added] = m_logged.try_emplace(path, refusal);
    const bool news = added || entry->second != refusal;
    entry->second = refusal;
    return news;
}

void TaskFileTrust::KeepOnly(const std::vector<std::wstring>& refused) {
    const std::unordered_set<std::wstring> kept(refused.begin(), refused.end());
    ScopedLock lock(m_lock);
    std::erase_if(m_logged, [&](const auto& entry) { return !kept.contains(entry.first); });
}
