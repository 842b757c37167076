#include "platform/LocalTimeZone.h"

#include <ctime>

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>

namespace {

constexpr std::int64_t kBlockSeconds = 2 * 86'400;
constexpr std::size_t kBlocksKept = 64;

// What is known of one block of UTC: the offset at its first second, and where it changes
// (at most once) within it.
struct Block {
    std::int64_t index = 0;
    bool known = false;
    std::int32_t offsetAtStart = 0;
    bool changes = false;
    std::int64_t change = 0;  // the first second of the new offset
    std::int32_t offsetAfter = 0;
};

// The C library keeps one zone state for the process and takes a lock of its own around it, but
// one the thread sanitizer cannot see: a reload during a conversion would look like a race.
std::mutex g_zoneMutex;
std::array<Block, kBlocksKept> g_blocks;
std::atomic<std::uint64_t> g_generation{0};

std::int32_t AskLibrary(std::int64_t utcSeconds) {
    const auto seconds = static_cast<std::time_t>(utcSeconds);
    std::tm parts{};
    if (localtime_r(&seconds, &parts) == nullptr) {
        return 0;
    }
    return static_cast<std::int32_t>(parts.tm_gmtoff);
}

std::int64_t BlockIndexOf(std::int64_t utcSeconds) {
    const std::int64_t index = utcSeconds / kBlockSeconds;
    return utcSeconds % kBlockSeconds < 0 ? index - 1 : index;
}

// The first second of (first, last] whose offset is not `before`'s, given that there is one.
std::int64_t SearchChange(std::int64_t first, std::int64_t last, std::int32_t before) {
    while (last - first > 1) {
        const std::int64_t middle = first + (last - first) / 2;
        (AskLibrary(middle) == before ? first : last) = middle;
    }
    return last;
}

const Block& BlockAt(std::int64_t utcSeconds) {
    const std::int64_t index = BlockIndexOf(utcSeconds);
    Block& block = g_blocks[static_cast<std::size_t>(index) % kBlocksKept];
    if (block.known && block.index == index) {
        return block;
    }
    const std::int64_t first = index * kBlockSeconds;
    const std::int64_t last = first + kBlockSeconds - 1;
    block.index = index;
    block.known = true;
    block.offsetAtStart = AskLibrary(first);
    block.offsetAfter = AskLibrary(last);
    block.changes = block.offsetAfter != block.offsetAtStart;
    block.change = block.changes ? SearchChange(first, last, block.offsetAtStart) : 0;
    return block;
}

std::int32_t OffsetInBlock(const Block& block, std::int64_t utcSeconds) {
    return block.changes && utcSeconds >= block.change ? block.offsetAfter : block.offsetAtStart;
}

}  // namespace

std::int32_t LocalTimeZone::OffsetAt(std::int64_t utcSeconds) {
    const std::lock_guard lock(g_zoneMutex);
    return OffsetInBlock(BlockAt(utcSeconds), utcSeconds);
}

bool LocalTimeZone::NextChange(std::int64_t after, std::int64_t limit, std::int64_t& change) {
    const std::lock_guard lock(g_zoneMutex);
    std::int32_t offset = OffsetInBlock(BlockAt(after), after);
    for (std::int64_t index = BlockIndexOf(after); index <= BlockIndexOf(limit); ++index) {
        const std::int64_t first = index * kBlockSeconds;
        const Block& block = BlockAt(first);
        // A change may fall on a block's first second, or inside it.
        if (first > after && block.offsetAtStart != offset) {
            change = first;
            return first <= limit;
        }
        if (block.changes && block.change > after) {
            change = block.change;
            return block.change <= limit;
        }
        offset = block.changes ? block.offsetAfter : block.offsetAtStart;
    }
    return false;
}

LocalTimeZone::Stretch LocalTimeZone::StretchAround(std::int64_t utcSeconds, std::int64_t reach) {
    const std::lock_guard lock(g_zoneMutex);
    const Block& home = BlockAt(utcSeconds);
    Stretch stretch{utcSeconds - reach, utcSeconds + reach, OffsetInBlock(home, utcSeconds)};
    if (home.changes) {
        (utcSeconds >= home.change ? stretch.first : stretch.end) = home.change;
    }
    const std::int64_t homeIndex = BlockIndexOf(utcSeconds);
    // Before: the blocks back to the last change, a change on a block's first second included.
    for (std::int64_t index = homeIndex; stretch.first < index * kBlockSeconds; --index) {
        const Block& before = BlockAt((index - 1) * kBlockSeconds);
        const std::int32_t offsetAtEnd = before.changes ? before.offsetAfter : before.offsetAtStart;
        if (offsetAtEnd != stretch.offset) {
            stretch.first = index * kBlockSeconds;
        } else if (before.changes) {
            stretch.first = std::max(stretch.first, before.change);
        }
        if (offsetAtEnd != stretch.offset || before.changes) {
            break;
        }
    }
    // After: the blocks on to the next change.
    for (std::int64_t index = homeIndex + 1; index * kBlockSeconds < stretch.end; ++index) {
        const Block& after = BlockAt(index * kBlockSeconds);
        if (after.offsetAtStart != stretch.offset) {
            stretch.end = index * kBlockSeconds;
        } else if (after.changes) {
            stretch.end = std::min(stretch.end, after.change);
        }
        if (after.offsetAtStart != stretch.offset || after.changes) {
            break;
        }
    }
    return stretch;
}

void LocalTimeZone::Reload() {
    const std::lock_guard lock(g_zoneMutex);
    tzset();
    g_blocks = {};
    g_generation.fetch_add(1);
}

std::uint64_t LocalTimeZone::Generation() {
    return g_generation.load(std::memory_order_acquire);
}
