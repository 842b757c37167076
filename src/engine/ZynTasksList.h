// The engine's picture of its work folder: one element per task document ("<identity>.xml")
// directly in the folder, kept in step with it by UpdateTaskList. Elements are found by
// identity through an index (the first in list order wins) or by schedule name (which reads
// the task files). A document that does not load leaves the folder for its "Invalid"
// subfolder, where it can be repaired. Only files the engine trusts are read (TaskFileTrust):
// the others are left alone, and a listed task whose file stops being trusted is dropped as if
// the file were gone.
//
// The list has no lock of its own: every operation takes the engine's main lock (recursive),
// so all lists of one engine are serialised by it. The cursor (MoveFirst, GetCurrent,
// MoveNext) is for one walker at a time under that lock. UpdateTaskList, GetTask and Clear
// contain their failures (logged under "CZynTasksList"); nothing here throws.
#pragma once

#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/ZynTaskListElement.h"

class CZynTaskSchedulerThread;

class CZynTasksList {
public:
    // Bound to `engine`; the tasks it makes get `taskFlag` (1 for the engine's own list).
    CZynTasksList(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag);
    ~CZynTasksList();
    CZynTasksList(const CZynTasksList&) = delete;
    CZynTasksList& operator=(const CZynTasksList&) = delete;

    HRESULT UpdateTaskList();
    // A key that parses as a GUID is an identity, anything else a schedule name.
    CountedPtr<CZynTaskListElement> GetTask(std::wstring_view key);
    CountedPtr<CZynTaskListElement> GetTask(ULONG position);
    void Clear();
    ULONG GetCount();
    void MoveFirst();
    CountedPtr<CZynTaskListElement> GetCurrent();
    void MoveNext();
    // Stable: elements with equal next run times keep their order.
    void SortByNextRunTime();
    // Lets go of the engine (it is shutting down) and of every element.
    void Detach();

private:
    using Elements = std::list<CountedPtr<CZynTaskListElement>>;

    HRESULT Refresh();
    CountedPtr<CZynTaskListElement> FindByIdentity(std::wstring_view identity);
    CountedPtr<CZynTaskListElement> FindByName(std::wstring_view name);
    bool HasScheduleName(const std::wstring& taskFile, std::wstring_view name);
    void RemoveVanishedTasks(const std::wstring& folder);
    void ScanFolder(const std::wstring& folder);
    void CheckListedTask(CZynTaskListElement& element, const std::wstring& folder,
                         const std::wstring& fileName);
    void AddTask(const std::wstring& key);
    void Remove(const CZynTaskListElement* element);
    void RebuildIndex();
    void SetInvalidTaskAside(const std::wstring& folder, const std::wstring& fileName);

    CountedPtr<CZynTaskSchedulerThread> m_engine;
    const LONG m_taskFlag;
    Elements m_elements;
    Elements::iterator m_cursor;
    std::unordered_map<std::wstring, CZynTaskListElement*> m_byIdentity;
};
