// One version of a task file, as far as a task reading it can tell versions apart: the file
// itself (device and inode), its size, its modification time and its change time (which moves
// with every write, rename or change of permissions, and which no call can set back), and the
// time zone's bias when it was seen, since a task compares its file's times in local time.
// Two signatures are equal only when nothing a reader could notice happened in between.
//
// A plain value; nothing here fails.
#pragma once

#include <cstdint>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/FileSystem.h"

class TaskFileSignature {
public:
    TaskFileSignature(const FileStatus& status, LONG zoneBias);

    bool operator==(const TaskFileSignature& other) const = default;

private:
    std::uint64_t m_fileId;
    std::uint64_t m_size;
    std::int64_t m_modified;
    std::int64_t m_changed;
    LONG m_zoneBias;
};
