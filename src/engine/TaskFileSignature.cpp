#include "engine/TaskFileSignature.h"

TaskFileSignature::TaskFileSignature(const FileStatus& status, LONG zoneBias)
    : m_fileId(status.fileId),
      m_size(status.size),
      m_modified(status.modifiedNanoseconds),
      m_changed(status.changedNanoseconds),
      m_zoneBias(zoneBias) {}
