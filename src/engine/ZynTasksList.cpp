#include "engine/ZynTasksList.h"

#include <algorithm>
#include <set>
#include <unordered_set>
#include <vector>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "engine/TaskFileName.h"
#include "engine/ZynTaskSchedulerThread.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"
#include "platform/WallClock.h"
#include "platform/XmlDocument.h"
#include "support/Folders.h"
#include "support/LogCall.h"
#include "support/MethodGuard.h"
#include "support/ScopedLock.h"
#include "support/TextFile.h"
#include "support/ThrowError.h"

namespace {

constexpr wchar_t kLogSource[] = L"CZynTasksList";
constexpr wchar_t kInvalidFolder[] = L"Invalid";
bool IsGuidText(std::wstring_view key) {
    constexpr std::size_t kGuidTextLength = 38;
    if (key.size() != kGuidTextLength) {
        return false;
    }
    wchar_t text[kGuidTextLength + 1] = {};
    key.copy(text, kGuidTextLength);
    CLSID ignored{};
    return SUCCEEDED(CLSIDFromString(text, &ignored));
}

std::wstring TaskFilePath(const std::wstring& folder, std::wstring_view identity) {
    return JoinPath(folder, TaskFileName::Of(identity));
}

std::wstring IdentityOf(IZynTask* task) {
    CBstr identity;
    return SUCCEEDED(task->get_Guid(identity.Receive())) ? std::wstring(identity.View())
                                                         : std::wstring();
}

}  // namespace

CZynTasksList::CZynTasksList(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag)
    : m_engine(std::move(engine)), m_taskFlag(taskFlag) {}

CZynTasksList::~CZynTasksList() = default;

HRESULT CZynTasksList::UpdateTaskList() {
    if (!m_engine) {
        return S_OK;
    }
    ScopedLock lock(m_engine->MainLock());
    return GuardAndLog(GuardNames{L"CZynTasksList", L"UpdateTaskList", GuardStyle::Colon},
                       kLogSource, [this] { return Refresh(); });
}

HRESULT CZynTasksList::UpdateTaskList(const std::vector<std::wstring>& changedNames) {
    if (!m_engine) {
        return S_OK;
    }
    ScopedLock lock(m_engine->MainLock());
    return GuardAndLog(GuardNames{L"CZynTasksList", L"UpdateTaskList", GuardStyle::Colon},
                       kLogSource, [&] { return RefreshFiles(changedNames); });
}

HRESULT CZynTasksList::Refresh() {
    const std::wstring folder = m_engine->GetWorkFolder();
    if (folder.empty()) {
        Clear();
        return S_OK;
    }
    std::vector<DirectoryEntryStatus> entries;
    if (ListDirectoryWithStatus(folder, entries) != ERROR_SUCCESS) {
        RemoveVanishedTasks(ElementsWhere([&](const CZynTaskListElement& element) {
            return !TaskFileTrust::IsTrusted(TaskFilePath(folder, element.Identity));
        }));
        return S_OK;
    }
    Reconcile(folder, entries, true);
    return S_OK;
}

// Besides the files named, those of the tasks added since the last look are looked at: a
// document that does not load is set aside by the look after the one that found it; and so are
// the temporaries whose writers were at work at the last look, which may have died since. A
// task without identity has no file of its own to look at, so a list holding one is read whole.
HRESULT CZynTasksList::RefreshFiles(const std::vector<std::wstring>& changedNames) {
    const std::wstring folder = m_engine->GetWorkFolder();
    if (folder.empty() || m_byIdentity.size() != m_elements.size()) {
        return Refresh();
    }
    std::set<std::wstring> names(changedNames.begin(), changedNames.end());
    for (const CountedPtr<CZynTaskListElement>& element : m_unconfirmed) {
        names.insert(TaskFileName::Of(element->Identity));
    }
    names.insert(m_temporariesInUse.begin(), m_temporariesInUse.end());
    std::vector<DirectoryEntryStatus> entries;
    for (const std::wstring& name : names) {
        DirectoryEntryStatus& entry = entries.emplace_back();
        entry.name = name;
        entry.hasStatus = QueryFileStatus(JoinPath(folder, name), entry.status) == ERROR_SUCCESS;
    }
    Reconcile(folder, entries, false);
    return S_OK;
}

// The one status read of each file serves the removal pass and the scan alike, and so does the
// one look into the index for each file named by an identity. Without the whole folder, only
// the tasks whose file is among `entries` and may no longer be loaded are removed.
void CZynTasksList::Reconcile(const std::wstring& folder,
                              const std::vector<DirectoryEntryStatus>& entries, bool wholeFolder) {
    const std::uint32_t userId = GetEffectiveUserId();
    std::vector<ScannedFile> files(entries.size());
    std::vector<CountedPtr<CZynTaskListElement>> untrusted;
    ++m_scan;
    bool unnamedFileTrusted = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const DirectoryEntryStatus& entry = entries[i];
        files[i].refusal = TaskFileTrust::Judge(entry.hasStatus ? &entry.status : nullptr, userId);
        if (!TaskFileName::IsTaskFile(entry.name)) {
            continue;
        }
        const bool trusted = files[i].refusal == TaskFileTrust::Refusal::None;
        const std::wstring_view stem = TaskFileName::KeyOf(entry.name);
        const auto found = m_byIdentity.find(stem);
        if (stem.empty()) {
            unnamedFileTrusted = trusted;
        } else if (found != m_byIdentity.end() && trusted) {
            found->second->LastFoundInScan = m_scan;
            files[i].listed = CountedPtr<CZynTaskListElement>(found->second);
        } else if (found != m_byIdentity.end()) {
            untrusted.emplace_back(found->second);
        }
    }
    RemoveVanishedTasks(
        !wholeFolder ? untrusted : ElementsWhere([&](const CZynTaskListElement& element) {
            return element.Identity.empty() ? !unnamedFileTrusted
                                            : element.LastFoundInScan != m_scan;
        }));
    ScanFolder(folder, entries, files, wholeFolder);
    std::erase_if(m_unconfirmed, [&](const CountedPtr<CZynTaskListElement>& element) {
        const auto found = m_byIdentity.find(element->Identity);
        return element->LoadedFile || found == m_byIdentity.end() || found->second != element.Get();
    });
}

template <class Condition>
std::vector<CountedPtr<CZynTaskListElement>> CZynTasksList::ElementsWhere(Condition condition) {
    std::vector<CountedPtr<CZynTaskListElement>> chosen;
    for (const auto& element : m_elements) {
        if (condition(*element)) {
            chosen.push_back(element);
        }
    }
    return chosen;
}

// All cancelled first, then all removed in one pass over the list: a refresh may find
// thousands of files gone. A cancel looks for the task in the engine's list, where the tasks
// not yet cancelled are still found either way.
void CZynTasksList::RemoveVanishedTasks(
    const std::vector<CountedPtr<CZynTaskListElement>>& vanished) {
    if (vanished.empty()) {
        return;
    }
    for (const auto& element : vanished) {
        CEReportEventFormat(CE_SEVERITY_TRACE, L"CZynTasksList::UpdateTaskList",
                            L"Removing task %ls\n", element->Identity.c_str());
        m_engine->CancelTask(element->Identity);
    }
    std::unordered_set<const CZynTaskListElement*> gone;
    for (const auto& element : vanished) {
        gone.insert(element.Get());
    }
    RemoveWhere([&](const CZynTaskListElement& element) { return gone.contains(&element); });
}

// An element found by the removal pass for a file is the one a look-up of the file's key
// finds: the pass removes no element it found, and no file of the same key is added meanwhile.
void CZynTasksList::ScanFolder(const std::wstring& folder,
                               const std::vector<DirectoryEntryStatus>& entries,
                               const std::vector<ScannedFile>& files, bool wholeFolder) {
    TaskFileTrust& trust = m_engine->TaskFiles();
    const LONG zoneBias = CurrentTimeZoneBias();
    std::vector<std::wstring> refused;
    if (wholeFolder) {
        m_temporariesInUse.clear();
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const DirectoryEntryStatus& entry = entries[i];
        if (entry.hasStatus && entry.status.isDirectory) {
            continue;
        }
        if (IsTemporaryName(entry.name)) {
            LookAtTemporary(folder, entry);
            continue;
        }
        if (!TaskFileName::IsTaskFile(entry.name)) {
            continue;
        }
        if (!wholeFolder && !entry.hasStatus) {
            trust.Forget(JoinPath(folder, entry.name));  // gone: as if never listed
            continue;
        }
        if (!trust.Admit(folder, entry.name, files[i].refusal, entry.status.ownerId)) {
            refused.push_back(JoinPath(folder, entry.name));
            continue;
        }
        const std::wstring_view key = TaskFileName::KeyOf(entry.name);
        if (const CountedPtr<CZynTaskListElement> element =
                files[i].listed ? files[i].listed : GetTask(key)) {
            CheckListedTask(*element, folder, entry.name,
                            TaskFileSignature(entry.status, zoneBias));
        } else {
            AddTask(std::wstring(key));
        }
    }
    if (wholeFolder) {
        trust.KeepOnly(refused);
    }
}

// A temporary whose writer is gone is removed; one still being written is remembered, so that
// the next look at the folder, of whatever kind, looks at it again.
void CZynTasksList::LookAtTemporary(const std::wstring& folder, const DirectoryEntryStatus& entry) {
    if (entry.hasStatus && IsAbandonedTemporary(folder, entry.name)) {
        RemoveFile(JoinPath(folder, entry.name));
    } else if (entry.hasStatus && entry.status.isRegularFile) {
        m_temporariesInUse.insert(entry.name);
        return;
    }
    m_temporariesInUse.erase(entry.name);
}

bool CZynTasksList::HasTemporariesInUse() {
    if (!m_engine) {
        return false;
    }
    ScopedLock lock(m_engine->MainLock());
    return !m_temporariesInUse.empty();
}

// Asks the task to reload its file when it changed; a file that no longer loads is set aside.
// A file unchanged since the task last reloaded from it without fault would reload the same way.
void CZynTasksList::CheckListedTask(CZynTaskListElement& element, const std::wstring& folder,
                                    const std::wstring& fileName,
                                    const TaskFileSignature& signature) {
    if (element.LoadedFile == signature) {
        return;
    }
    if (SUCCEEDED(element.Task->get_Xml(nullptr))) {
        element.LoadedFile = signature;
        return;
    }
    Remove(&element);
    SetInvalidTaskAside(folder, fileName);
    CEReportEventFormat(CE_SEVERITY_WARNING, kLogSource, L"Invalid task was deleted. File: '%ls'",
                        JoinPath(folder, fileName).c_str());
}

void CZynTasksList::AddTask(const std::wstring& key) {
    IZynEngineObjectFactory* factory = m_engine->ObjectFactory();
    if (factory == nullptr) {
        return;
    }
    const ComPtr<IZynTask> task = factory->CreateTask(m_engine, m_taskFlag);
    const CBstr identity(key);
    task->put_Guid(identity.Get());  // a key that is no GUID leaves the task without identity
    auto element = MakeCounted<CZynTaskListElement>(task, IdentityOf(task.Get()));
    CEReportEventFormat(CE_SEVERITY_TRACE, L"CZynTasksList::UpdateTaskList", L"Adding task %ls\n",
                        key.c_str());
    m_elements.push_back(element);
    if (!element->Identity.empty()) {
        m_byIdentity.emplace(element->Identity, element.Get());
        m_unconfirmed.push_back(std::move(element));
    }
}

// Moved, not destroyed: a hand-edited file with a typo can be repaired and put back.
void CZynTasksList::SetInvalidTaskAside(const std::wstring& folder, const std::wstring& fileName) {
    const std::wstring invalidFolder = JoinPath(folder, kInvalidFolder);
    const std::wstring source = JoinPath(folder, fileName);
    if (!CreateDirectoryPath(invalidFolder, kDefaultFolderMode, true) ||
        RenameFile(source, JoinPath(invalidFolder, fileName)) != ERROR_SUCCESS) {
        RemoveFile(source);
    }
}

CountedPtr<CZynTaskListElement> CZynTasksList::GetTask(std::wstring_view key) {
    if (!m_engine) {
        return {};
    }
    ScopedLock lock(m_engine->MainLock());
    CountedPtr<CZynTaskListElement> found;
    GuardAndLog(GuardNames{L"CZynTasksList", L"GetTask", GuardStyle::Colon}, kLogSource,
                [&] { found = IsGuidText(key) ? FindByIdentity(key) : FindByName(key); });
    return found;
}

CountedPtr<CZynTaskListElement> CZynTasksList::FindByIdentity(std::wstring_view identity) {
    const auto found = m_byIdentity.find(identity);
    return found == m_byIdentity.end() ? CountedPtr<CZynTaskListElement>()
                                       : CountedPtr<CZynTaskListElement>(found->second);
}

// Only the files that changed since their name was last read are read again.
CountedPtr<CZynTaskListElement> CZynTasksList::FindByName(std::wstring_view name) {
    const std::wstring folder = m_engine->GetWorkFolder();
    const LONG zoneBias = CurrentTimeZoneBias();
    const std::uint32_t userId = GetEffectiveUserId();
    for (const auto& element : m_elements) {
        const std::wstring taskFile = TaskFilePath(folder, element->Identity);
        FileStatus status;
        if (QueryFileStatus(taskFile, status) != ERROR_SUCCESS ||
            TaskFileTrust::Judge(&status, userId) != TaskFileTrust::Refusal::None) {
            continue;
        }
        const TaskFileSignature signature(status, zoneBias);
        if (element->NamedFile != signature) {
            element->ScheduleName = ReadScheduleName(taskFile);
            element->NamedFile = signature;
        }
        if (element->ScheduleName == name) {
            return element;
        }
    }
    return {};
}

std::optional<std::wstring> CZynTasksList::ReadScheduleName(const std::wstring& taskFile) {
    std::wstring text;
    XmlDocument document;
    std::wstring reason;
    bool loaded = ReadTextFile(taskFile, text, CP_ACP);
    std::wstring description = L"Failed to load task xml.";
    if (loaded && !document.Load(text, reason)) {
        loaded = false;
        description = L"Failed to load task xml into XMLDOM. Error " + reason + L".";
    }
    if (!loaded) {
        SetInvalidTaskAside(ParentPath(taskFile), BaseName(taskFile));
        Refresh();
        CEReportEventFormat(CE_SEVERITY_WARNING, kLogSource,
                            L"Invalid task was deleted. File: '%ls'", taskFile.c_str());
        CEThrowError(E_FAIL, description);
    }
    const XmlNode scheduleName = document.SelectSingle(L"//Schedule/@Name");
    if (scheduleName.IsNull()) {
        return std::nullopt;
    }
    return scheduleName.Text();
}

CountedPtr<CZynTaskListElement> CZynTasksList::GetTask(ULONG position) {
    if (!m_engine) {
        return {};
    }
    ScopedLock lock(m_engine->MainLock());
    if (position >= m_elements.size()) {
        return {};
    }
    return m_elements[position];
}

void CZynTasksList::Clear() {
    Elements released;
    if (m_engine) {
        ScopedLock lock(m_engine->MainLock());
        released.swap(m_elements);
        m_byIdentity.clear();
        m_unconfirmed.clear();
        m_temporariesInUse.clear();
        m_cursor = kAtEnd;
    }
}

ULONG CZynTasksList::GetCount() {
    if (!m_engine) {
        return 0;
    }
    ScopedLock lock(m_engine->MainLock());
    return static_cast<ULONG>(m_elements.size());
}

void CZynTasksList::MoveFirst() {
    if (m_engine) {
        ScopedLock lock(m_engine->MainLock());
        m_cursor = m_elements.empty() ? kAtEnd : 0;
    }
}

CountedPtr<CZynTaskListElement> CZynTasksList::GetCurrent() {
    if (!m_engine) {
        return {};
    }
    ScopedLock lock(m_engine->MainLock());
    return m_cursor == kAtEnd ? CountedPtr<CZynTaskListElement>() : m_elements[m_cursor];
}

void CZynTasksList::MoveNext() {
    if (m_engine) {
        ScopedLock lock(m_engine->MainLock());
        if (m_cursor != kAtEnd && ++m_cursor == m_elements.size()) {
            m_cursor = kAtEnd;
        }
    }
}

void CZynTasksList::SortByNextRunTime() {
    if (m_engine) {
        ScopedLock lock(m_engine->MainLock());
        std::stable_sort(m_elements.begin(), m_elements.end(), [](const auto& a, const auto& b) {
            return a->NextRunTime < b->NextRunTime;
        });
        m_cursor = kAtEnd;
    }
}

void CZynTasksList::Detach() {
    Clear();
    m_engine.Reset();
}

void CZynTasksList::Remove(const CZynTaskListElement* element) {
    RemoveWhere([&](const CZynTaskListElement& listed) { return &listed == element; });
}

// The cursor stays on the element it was on, or moves on to the next one when that one goes.
template <class Condition>
void CZynTasksList::RemoveWhere(Condition condition) {
    std::size_t kept = 0;
    std::size_t cursor = m_cursor;
    for (std::size_t i = 0; i < m_elements.size(); ++i) {
        CountedPtr<CZynTaskListElement>& element = m_elements[i];
        if (!condition(*element)) {
            m_elements[kept++] = std::move(element);
            continue;
        }
        if (m_cursor != kAtEnd && i < m_cursor) {
            --cursor;
        }
        const auto indexed = m_byIdentity.find(element->Identity);
        if (indexed != m_byIdentity.end() && indexed->second == element.Get()) {
            m_byIdentity.erase(indexed);
        }
    }
    m_elements.resize(kept);
    m_cursor = cursor >= kept ? kAtEnd : cursor;
}
