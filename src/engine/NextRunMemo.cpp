#include "engine/NextRunMemo.h"

bool NextRunMemo::Recall(std::uint64_t revision, std::uint64_t line, RealTime reference,
                         ScheduledRun& next) const {
    if (revision == 0 || revision != m_revision || line != m_line || reference < m_reference ||
        (m_next.IsRun() && reference >= m_next.at)) {
        return false;
    }
    next = m_next;
    return true;
}

void NextRunMemo::Remember(std::uint64_t revision, std::uint64_t line, RealTime reference,
                           const ScheduledRun& next) {
    m_revision = revision;
    m_line = line;
    m_reference = reference;
    m_next = next;
}
