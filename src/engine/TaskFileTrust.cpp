#include "engine/TaskFileTrust.h"

#include <unordered_set>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"
#include "support/LogCall.h"
#include "support/ScopedLock.h"

namespace {

constexpr wchar_t kLogSource[] = L"CZynTasksList";
constexpr std::uint32_t kRootUserId = 0;
constexpr std::uint32_t kGroupOrOthersWrite = 0022;

// Why a refused file is not loaded, as the log and the task's run record say it.
std::wstring RefusalText(TaskFileTrust::Refusal refusal, std::uint32_t ownerId) {
    switch (refusal) {
        case TaskFileTrust::Refusal::NotRegularFile:
            return L"it is not a regular file";
        case TaskFileTrust::Refusal::ForeignOwner:
            return L"it is owned by user " + std::to_wstring(ownerId) +
                   L", not by this process's user or root";
        case TaskFileTrust::Refusal::WritableByOthers:
            return L"it is writable by group or others";
        case TaskFileTrust::Refusal::None:
        case TaskFileTrust::Refusal::Missing:
            break;
    }
    return {};
}

}  // namespace

TaskFileTrust::Refusal TaskFileTrust::Judge(const FileStatus* status, std::uint32_t userId) {
    if (status == nullptr) {
        return Refusal::Missing;
    }
    if (status->isSymbolicLink || !status->isRegularFile) {
        return Refusal::NotRegularFile;
    }
    if (status->ownerId != kRootUserId && status->ownerId != userId) {
        return Refusal::ForeignOwner;
    }
    if ((status->mode & kGroupOrOthersWrite) != 0) {
        return Refusal::WritableByOthers;
    }
    return Refusal::None;
}

bool TaskFileTrust::IsTrusted(const std::wstring& path) {
    FileStatus status;
    return QueryFileStatus(path, status) == ERROR_SUCCESS &&
           Judge(&status, GetEffectiveUserId()) == Refusal::None;
}

// The path is made only when a refusal needs it: a large folder's files are mostly trusted.
bool TaskFileTrust::Admit(std::wstring_view folder, std::wstring_view name, Refusal refusal,
                          std::uint32_t ownerId) {
    if (refusal == Refusal::None) {
        ScopedLock lock(m_lock);
        if (!m_logged.empty()) {
            m_logged.erase(JoinPath(folder, name));
        }
        return true;
    }
    const std::wstring path = JoinPath(folder, name);
    const std::wstring why = RefusalText(refusal, ownerId);
    if (!why.empty() && IsNews(path, refusal)) {
        CEReportEventFormat(CE_SEVERITY_WARNING, kLogSource, L"Skipping task file %ls: %ls",
                            path.c_str(), why.c_str());
        if (m_observer) {
            m_observer(name, why);
        }
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

void TaskFileTrust::Forget(const std::wstring& path) {
    ScopedLock lock(m_lock);
    m_logged.erase(path);
}
