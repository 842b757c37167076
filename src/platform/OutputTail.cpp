#include "platform/OutputTail.h"

void OutputTail::Append(std::string_view bytes) {
    m_total += bytes.size();
    if (bytes.size() >= m_bound) {
        m_buffer.assign(bytes.substr(bytes.size() - m_bound));
        return;
    }
    m_buffer.append(bytes);
    if (m_buffer.size() > 2 * m_bound) {
        m_buffer.erase(0, m_buffer.size() - m_bound);
    }
}

void OutputTail::Skip(std::uint64_t count) {
    m_total += count;
    if (count > 0) {
        m_buffer.clear();
    }
}

std::string OutputTail::Bytes() const {
    const std::size_t kept = m_buffer.size() < m_bound ? m_buffer.size() : m_bound;
    return m_buffer.substr(m_buffer.size() - kept);
}
