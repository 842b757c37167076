#include "platform/MemoryProbe.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"

namespace {

struct AddressRange {
    std::uintptr_t begin;
    std::uintptr_t end;  // one past the last byte
};

std::optional<AddressRange> RangeOf(const void* address, std::size_t size) {
    const auto begin = reinterpret_cast<std::uintptr_t>(address);
    if (begin == 0 || size > UINTPTR_MAX - begin) {
        return std::nullopt;
    }
    return AddressRange{begin, begin + size};
}

std::uintptr_t PageSize() {
    static const auto size = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

// Access rights are kept per page, so one byte of each page the range touches stands for the
// page. The kernel copies those bytes and reports a fault as a short copy instead of raising
// it. nullopt when the kernel does not offer the copy at all.
std::optional<bool> PagesReadable(AddressRange range) {
    constexpr std::size_t kBatch = 256;  // well below the system's limit on pieces per call
    std::array<char, kBatch> copies{};
    std::array<iovec, kBatch> pieces{};
    std::uintptr_t next = range.begin;
    while (next < range.end) {
        std::size_t count = 0;
        for (; count < kBatch && next < range.end; ++count) {
            pieces[count] = {reinterpret_cast<void*>(next), 1};
            next = (next & ~(PageSize() - 1)) + PageSize();
        }
        const iovec local{copies.data(), count};
        const ssize_t copied = ::process_vm_readv(::getpid(), &local, 1, pieces.data(), count, 0);
        if (copied < 0 && errno != EFAULT) {
            return std::nullopt;
        }
        if (copied != static_cast<ssize_t>(count)) {
            return false;
        }
    }
    return true;
}

std::string ReadMappings() {
    std::string text;
    FileDescriptor maps(::open("/proc/self/maps", O_RDONLY | O_CLOEXEC));
    std::array<char, 16384> chunk{};
    for (;;) {
        const ssize_t got = maps.IsValid() ? ::read(maps.Get(), chunk.data(), chunk.size()) : 0;
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return text;  // a list cut short only makes the answer more cautious
        }
        text.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

struct Mapping {
    AddressRange range;
    std::string_view rights;  // "rwxp" and the like
};

// One line of the list: "<begin>-<end> <rights> ..." with the addresses in hexadecimal.
std::optional<Mapping> ParseMapping(std::string_view line) {
    Mapping mapping{};
    const char* const last = line.data() + line.size();
    auto [dash, beginError] = std::from_chars(line.data(), last, mapping.range.begin, 16);
    if (beginError != std::errc() || dash == last || *dash != '-') {
        return std::nullopt;
    }
    auto [blank, endError] = std::from_chars(dash + 1, last, mapping.range.end, 16);
    if (endError != std::errc() || last - blank < 5 || *blank != ' ') {
        return std::nullopt;
    }
    mapping.rights = std::string_view(blank + 1, 4);
    return mapping;
}

// Whether the system's list of this process's mappings covers the range without a gap, each
// mapping on it granting `right` ('r' or 'w').
bool MappingsGrant(AddressRange range, char right) {
    const std::string mappings = ReadMappings();
    std::uintptr_t covered = range.begin;
    std::size_t lineStart = 0;
    while (lineStart < mappings.size()) {
        std::size_t lineEnd = mappings.find('\n', lineStart);
        lineEnd = lineEnd == std::string::npos ? mappings.size() : lineEnd;
        const auto mapping =
            ParseMapping(std::string_view(mappings).substr(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;
        if (!mapping) {
            return false;
        }
        if (mapping->range.end <= covered) {
            continue;  // the list is in address order
        }
        if (mapping->range.begin > covered || mapping->rights.find(right) == std::string::npos) {
            return false;
        }
        covered = mapping->range.end;
        if (covered >= range.end) {
            return true;
        }
    }
    return false;
}

// The calling thread's stack, as the thread library reports it, read once per thread.
AddressRange ThisThreadsStack() {
    AddressRange stack{0, 0};
    pthread_attr_t attributes;
    if (::pthread_getattr_np(::pthread_self(), &attributes) != 0) {
        return stack;
    }
    void* low = nullptr;
    std::size_t size = 0;
    if (::pthread_attr_getstack(&attributes, &low, &size) == 0) {
        stack.begin = reinterpret_cast<std::uintptr_t>(low);
        stack.end = stack.begin + size;
    }
    ::pthread_attr_destroy(&attributes);
    return stack;
}

// Whether the range lies in the frames of this call's callers: between this frame and the top
// of the stack everything is mapped and writable. (The stack grows down, and the region the
// library reports below the current frame need not be mapped at all. A frame kept off the
// stack, as some sanitizers do, takes the slow way.)
__attribute__((noinline)) bool InCallersFrames(AddressRange range) {
    thread_local const AddressRange stack = ThisThreadsStack();
    const int marker = 0;
    const auto here = reinterpret_cast<std::uintptr_t>(&marker);
    return here >= stack.begin && here < stack.end && range.begin > here && range.end <= stack.end;
}

bool Readable(AddressRange range) {
    const auto readable = PagesReadable(range);
    return readable ? *readable : MappingsGrant(range, 'r');
}

}  // namespace

bool IsReadableMemory(const void* address, std::size_t size) {
    const auto range = RangeOf(address, size);
    return range && (size == 0 || Readable(*range));
}

bool IsWritableMemory(const void* address, std::size_t size) {
    // Writing would be the only direct test, and writing back what was read could undo
    // another thread's store; the mapping's rights say the same without touching the memory.
    // Most out-arguments live on the caller's stack, which is always writable, so the list
    // of mappings is read only for the others.
    const auto range = RangeOf(address, size);
    return range && (size == 0 || InCallersFrames(*range) ||
                     (Readable(*range) && MappingsGrant(*range, 'w')));
}
