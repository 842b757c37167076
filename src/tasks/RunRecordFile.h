// The run records of one task: the file "{identity}.runs" in the work folder's log folder,
// beside the task log, with the newest record first and the newest kKeptRunRecords kept:
//
//   <RunRecords><Run .../><Run .../></RunRecords>
//
// The file is replaced whole and atomically at every change, so a reader (in any process) sees
// the old list or the new one, never a torn one, and a writer killed in the middle leaves the
// old list. It is not flushed to disk: losing the last records to a power failure costs less
// than a flush at every run.
//
// Only the engine that holds the work folder writes, from one thread; anybody may read. The
// object is a name for the file, made on the spot; not thread-safe. Nothing here throws: a write
// that fails answers false with the system error in the last-error value, and a file that does
// not read as a record list reads as no records (and is replaced by the next write).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "tasks/RunRecord.h"

inline constexpr std::size_t kKeptRunRecords = 50;

class RunRecordFile {
public:
    RunRecordFile(std::wstring_view logFolder, std::wstring_view identity);

    // Puts `records` (oldest first) in front of the kept ones, creating the folder and the file
    // as needed.
    bool Add(std::span<const RunRecord> records);
    // The newest `count` records, newest first.
    std::vector<RunRecord> Read(std::size_t count) const;
    // The same as a RunRecords document; an empty list when there are none.
    std::wstring ReadDocument(std::size_t count) const;
    // True when the file is gone afterwards.
    bool Remove() const;
    const std::wstring& Path() const { return m_path; }

private:
    // The file's document with at most `count` records; an empty list when it does not read.
    XmlDocument Load(std::size_t count) const;

    std::wstring m_folder;
    std::wstring m_path;
};
