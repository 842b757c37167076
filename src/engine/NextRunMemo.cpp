#include "engine/NextRunMemo.h"

#include "tasks/ScheduleArithmetic.h"

bool NextRunMemo::Recall(std::uint64_t revision, DATE reference, DATE& next) const {
    if (revision == 0 || revision != m_revision || CompareDates(reference, 0) <= 0 ||
        reference < m_reference) {
        return false;
    }
    const bool noRun = CompareDates(m_next, 0) <= 0;
    if (!noRun && CompareDates(reference, m_next) >= 0) {
        return false;
    }
    next = m_next;
    return true;
}

void NextRunMemo::Remember(std::uint64_t revision, DATE reference, DATE next) {
    m_revision = revision;
    m_reference = reference;
    m_next = next;
}
