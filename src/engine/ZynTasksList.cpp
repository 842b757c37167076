#include "engine/ZynTasksList.h"

#include <cwctype>
#include <vector>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "engine/ZynTaskSchedulerThread.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Path.h"
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
constexpr std::wstring_view kTaskFileSuffix = L".xml";

bool IsTaskFileName(std::wstring_view name) {
    if (name.size() < kTaskFileSuffix.size()) {
        return false;
    }
    const std::wstring_view suffix = name.substr(name.size() - kTaskFileSuffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (static_cast<wchar_t>(std::towlower(static_cast<wint_t>(suffix[i]))) !=
            kTaskFileSuffix[i]) {
            return false;
        }
    }
    return true;
}

bool IsGuidText(std::wstring_view key) {
    CLSID ignored{};
    const std::wstring text(key);
    return SUCCEEDED(CLSIDFromString(text.c_str(), &ignored));
}

std::wstring TaskFilePath(const std::wstring& folder, std::wstring_view identity) {
    return JoinPath(folder, std::wstring(identity) + L".xml");
}

std::wstring IdentityOf(IZynTask* task) {
    CBstr identity;
    return SUCCEEDED(task->get_Guid(identity.Receive())) ? std::wstring(identity.View())
                                                         : std::wstring();
}

}  // namespace

CZynTasksList::CZynTasksList(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag)
    : m_engine(std::move(engine)), m_taskFlag(taskFlag), m_cursor(m_elements.end()) {}

CZynTasksList::~CZynTasksList() = default;

HRESULT CZynTasksList::UpdateTaskList() {
    if (!m_engine) {
        return S_OK;
    }
    ScopedLock lock(m_engine->MainLock());
    return GuardAndLog(GuardNames{L"CZynTasksList", L"UpdateTaskList", GuardStyle::Colon},
                       kLogSource, [this] { return Refresh(); });
}

HRESULT CZynTasksList::Refresh() {
    const std::wstring folder = m_engine->GetWorkFolder();
    if (folder.empty()) {
        Clear();
        return S_OK;
    }
    RemoveVanishedTasks(folder);
    ScanFolder(folder);
    return S_OK;
}

void CZynTasksList::RemoveVanishedTasks(const std::wstring& folder) {
    std::vector<CountedPtr<CZynTaskListElement>> vanished;
    for (const auto& element : m_elements) {
        if (!TaskFileTrust::IsTrusted(TaskFilePath(folder, element->Identity))) {
            vanished.push_back(element);
        }
    }
    for (const auto& element : vanished) {
        CEReportEventFormat(CE_SEVERITY_TRACE, L"CZynTasksList::UpdateTaskList",
                            L"Removing task %ls\n", element->Identity.c_str());
        m_engine->CancelTask(element->Identity);
        Remove(element.Get());
    }
}

void CZynTasksList::ScanFolder(const std::wstring& folder) {
    std::vector<DirectoryEntry> entries;
    if (ListDirectory(folder, entries) != ERROR_SUCCESS) {
        return;
    }
    TaskFileTrust& trust = m_engine->TaskFiles();
    std::vector<std::wstring> refused;
    for (const DirectoryEntry& entry : entries) {
        if (entry.isDirectory) {
            continue;
        }
        const std::wstring path = JoinPath(folder, entry.name);
        if (IsAbandonedTemporary(folder, entry.name)) {
            RemoveFile(path);
            continue;
        }
        if (!IsTaskFileName(entry.name)) {
            continue;
        }
        if (!trust.Admit(path)) {
            refused.push_back(path);
            continue;
        }
        const std::wstring key = entry.name.substr(0, entry.name.size() - kTaskFileSuffix.size());
        if (const CountedPtr<CZynTaskListElement> element = GetTask(key)) {
            CheckListedTask(*element, folder, entry.name);
        } else {
            AddTask(key);
        }
    }
    trust.KeepOnly(refused);
}

// Asks the task to reload its file when it changed; a file that no longer loads is set aside.
void CZynTasksList::CheckListedTask(CZynTaskListElement& element, const std::wstring& folder,
                                    const std::wstring& fileName) {
    if (SUCCEEDED(element.Task->get_Xml(nullptr))) {
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
    if (!element->Identity.empty()) {
        m_byIdentity.emplace(element->Identity, element.Get());
    }
    m_elements.push_back(std::move(element));
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
    const auto found = m_byIdentity.find(std::wstring(identity));
    return found == m_byIdentity.end() ? CountedPtr<CZynTaskListElement>()
                                       : CountedPtr<CZynTaskListElement>(found->second);
}

CountedPtr<CZynTaskListElement> CZynTasksList::FindByName(std::wstring_view name) {
    const std::wstring folder = m_engine->GetWorkFolder();
    for (const auto& element : m_elements) {
        const std::wstring taskFile = TaskFilePath(folder, element->Identity);
        if (!TaskFileTrust::IsTrusted(taskFile)) {
            continue;
        }
        if (HasScheduleName(taskFile, name)) {
            return element;
        }
    }
    return {};
}

bool CZynTasksList::HasScheduleName(const std::wstring& taskFile, std::wstring_view name) {
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
    return !scheduleName.IsNull() && scheduleName.Text() == name;
}

CountedPtr<CZynTaskListElement> CZynTasksList::GetTask(ULONG position) {
    if (!m_engine) {
        return {};
    }
    ScopedLock lock(m_engine->MainLock());
    if (position >= m_elements.size()) {
        return {};
    }
    return *std::next(m_elements.begin(), position);
}

void CZynTasksList::Clear() {
    Elements released;
    if (m_engine) {
        ScopedLock lock(m_engine->MainLock());
        released.swap(m_elements);
        m_byIdentity.clear();
        m_cursor = m_elements.end();
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
        m_cursor = m_elements.begin();
    }
}

CountedPtr<CZynTaskListElement> CZynTasksList::GetCurrent() {
    if (!m_engine) {
        return {};
    }
    ScopedLock lock(m_engine->MainLock());
    return m_cursor == m_elements.end() ? CountedPtr<CZynTaskListElement>() : *m_cursor;
}

void CZynTasksList::MoveNext() {
    if (m_engine) {
        ScopedLock lock(m_engine->MainLock());
        if (m_cursor != m_elements.end()) {
            ++m_cursor;
        }
    }
}

void CZynTasksList::SortByNextRunTime() {
    if (m_engine) {
        ScopedLock lock(m_engine->MainLock());
        m_elements.sort(
            [](const auto& a, const auto& b) { return a->NextRunTime < b->NextRunTime; });
        m_cursor = m_elements.end();
    }
}

void CZynTasksList::Detach() {
    Clear();
    m_engine.Reset();
}

void CZynTasksList::Remove(const CZynTaskListElement* element) {
    for (auto it = m_elements.begin(); it != m_elements.end();) {
        if (it->Get() == element) {
            it = m_cursor == it ? (m_cursor = m_elements.erase(it)) : m_elements.erase(it);
        } else {
            ++it;
        }
    }
    RebuildIndex();
}

// The first element in list order wins a shared identity.
void CZynTasksList::RebuildIndex() {
    m_byIdentity.clear();
    for (const auto& element : m_elements) {
        if (!element->Identity.empty()) {
            m_byIdentity.emplace(element->Identity, element.Get());
        }
    }
}
