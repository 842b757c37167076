// The engine's picture of its work folder: one element per task document ("<identity>.xml",
// TaskFileName) directly in the folder, kept in step with it by UpdateTaskList, which reads the
// whole folder or, after a folder watch named them, only the files that changed. Either way,
// temporaries left by writers that died are removed (a writer's temporary seen in use is looked
// at again at every later refresh until it is gone). Elements are found by
// identity through an index (an identity is never shared) or by schedule name (which reads again
// only the task files that changed since their name was last read). A document that does not
// load leaves the folder for its "Invalid" subfolder, where it can be repaired. Only files the
// engine trusts are read (TaskFileTrust): the others are left alone, and a listed task whose
// file stops being trusted is dropped as if the file were gone.
//
// The list has no lock of its own: every operation takes the engine's main lock (recursive),
// so all lists of one engine are serialised by it. The cursor (MoveFirst, GetCurrent,
// MoveNext) is for one walker at a time under that lock. UpdateTaskList, GetTask and Clear
// contain their failures (logged under "CZynTasksList"); nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/TaskFileTrust.h"
#include "engine/ZynTaskListElement.h"
#include "platform/FileSystem.h"

class CZynTaskSchedulerThread;

class CZynTasksList {
public:
    // Bound to `engine`; the tasks it makes get `taskFlag` (1 for the engine's own list).
    CZynTasksList(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag);
    ~CZynTasksList();
    CZynTasksList(const CZynTasksList&) = delete;
    CZynTasksList& operator=(const CZynTasksList&) = delete;

    HRESULT UpdateTaskList();
    // The same for a folder of which only the entries `changedNames` changed since the last
    // refresh (the others may not have changed at all, not even their permissions).
    HRESULT UpdateTaskList(const std::vector<std::wstring>& changedNames);
    // Whether the last look found temporaries still being written, which a refresh, even of
    // no changed names, looks at again.
    bool HasTemporariesInUse();
    // A key that parses as a GUID is an identity, anything else a schedule name.
    CountedPtr<CZynTaskListElement> GetTask(std::wstring_view key);
    CountedPtr<CZynTaskListElement> GetTask(ULONG position);
    void Clear();
    ULONG GetCount();
    void MoveFirst();
    CountedPtr<CZynTaskListElement> GetCurrent();
    void MoveNext();
    // Stable: elements with equal next run times keep their order. The scheduler thread, which
    // sees every next run as it computes them, calls it only for a list out of order.
    void SortByNextRunTime();
    // Lets go of the engine (it is shutting down) and of every element.
    void Detach();

private:
    // Kept in one array: the scheduler thread walks every element at every cycle.
    using Elements = std::vector<CountedPtr<CZynTaskListElement>>;
    static constexpr std::size_t kAtEnd = SIZE_MAX;

    HRESULT Refresh();
    HRESULT RefreshFiles(const std::vector<std::wstring>& changedNames);
    void Reconcile(const std::wstring& folder, const std::vector<DirectoryEntryStatus>& entries,
                   bool wholeFolder);
    template <class Condition>
    std::vector<CountedPtr<CZynTaskListElement>> ElementsWhere(Condition condition);
    CountedPtr<CZynTaskListElement> FindByIdentity(std::wstring_view identity);
    CountedPtr<CZynTaskListElement> FindByName(std::wstring_view name);
    // The file's schedule name (none when it has none); a file that does not load is set aside
    // and the failure thrown.
    std::optional<std::wstring> ReadScheduleName(const std::wstring& taskFile);
    // Drops the elements, cancelling their tasks if they run.
    void RemoveVanishedTasks(const std::vector<CountedPtr<CZynTaskListElement>>& vanished);
    // What a refresh learnt of one folder entry before its scan.
    struct ScannedFile {
        TaskFileTrust::Refusal refusal = TaskFileTrust::Refusal::None;
        CountedPtr<CZynTaskListElement> listed;  // its element, when the removal pass found it
    };

    void ScanFolder(const std::wstring& folder, const std::vector<DirectoryEntryStatus>& entries,
                    const std::vector<ScannedFile>& files, bool wholeFolder);
    void LookAtTemporary(const std::wstring& folder, const DirectoryEntryStatus& entry);
    void CheckListedTask(CZynTaskListElement& element, const std::wstring& folder,
                         const std::wstring& fileName, const TaskFileSignature& signature);
    void AddTask(const std::wstring& key);
    void Remove(const CZynTaskListElement* element);
    template <class Condition>
    void RemoveWhere(Condition condition);
    void SetInvalidTaskAside(const std::wstring& folder, const std::wstring& fileName);

    CountedPtr<CZynTaskSchedulerThread> m_engine;
    const LONG m_taskFlag;
    Elements m_elements;
    std::size_t m_cursor = kAtEnd;  // a position in m_elements, or kAtEnd
    std::uint64_t m_scan = 0;       // counts the refreshes that read the folder
    // Elements added since their file was last looked at.
    std::vector<CountedPtr<CZynTaskListElement>> m_unconfirmed;
    // Names of temporaries whose writers were at work when last looked at.
    std::set<std::wstring> m_temporariesInUse;
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::wstring_view text) const {
            return std::hash<std::wstring_view>()(text);
        }
    };
    // Every element with an identity; an element is added only when no element has its
    // identity, so identities are never shared.
    std::unordered_map<std::wstring, CZynTaskListElement*, TextHash, std::equal_to<>> m_byIdentity;
};
