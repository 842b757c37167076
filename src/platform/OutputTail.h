// The last bytes of a stream that may be far too long to keep: what a run record keeps of a
// program's output. Only the newest `bound` bytes are held, in order; the count of every byte
// that went by is kept as well, so that a reader can tell how much was cut. Memory stays within
// twice the bound, whatever the stream's length. Not thread-safe: one owner at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class OutputTail {
public:
    explicit OutputTail(std::size_t bound) : m_bound(bound) {}

    // Adds bytes at the end of the stream.
    void Append(std::string_view bytes);
    // Counts bytes that went by unread. Only for bytes followed by at least `bound` more that
    // will be appended: neither they nor anything before them belongs to the tail.
    void Skip(std::uint64_t count);

    // The newest bytes, at most `bound` of them, oldest first.
    std::string Bytes() const;
    std::uint64_t TotalBytes() const { return m_total; }
    std::size_t Bound() const { return m_bound; }

private:
    const std::size_t m_bound;
    // Up to twice the bound: trimmed to the bound only when it grows past that, so that each
    // byte is moved at most once.
    std::string m_buffer;
    std::uint64_t m_total = 0;
};
