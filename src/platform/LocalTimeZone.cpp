#include "platform/LocalTimeZone.h"

#include <array>
#include <atomic>
#include <mutex>

#include "platform/SystemClock.h"

namespace {

constexpr std::int64_t kBlockSeconds = 4 * 86'400;
constexpr std::size_t kBlocksKept = 256;

// What is known of one block of UTC: the offset at its first second and, once asked, where the
// offset changes after it: at most once, up to the next block's first second.
struct Block {
    std::int64_t index = 0;
    bool known = false;
    std::int32_t offsetAtStart = 0;
    bool changeKnown = false;
    bool changes = false;
    std::int64_t change = 0;  // the first second of the next block's offset
};

// The C library keeps one zone state for the process and takes a lock of its own around it, but
// one the thread sanitizer cannot see: a reload during a conversion would look like a race
// (SystemClock.h is called under this mutex only).
std::mutex g_zoneMutex;
std::array<Block, kBlocksKept> g_blocks;
std::atomic<std::uint64_t> g_generation{0};

std::int64_t BlockIndexOf(std::int64_t utcSeconds) {
    const std::int64_t index = utcSeconds / kBlockSeconds;
    return utcSeconds % kBlockSeconds < 0 ? index - 1 : index;
}

std::int64_t StartOf(std::int64_t index) {
    return index * kBlockSeconds;
}

Block& BlockAt(std::int64_t index) {
    Block& block = g_blocks[static_cast<std::size_t>(index) % kBlocksKept];
    if (!block.known || block.index != index) {
        block = Block{index, true, SystemZoneOffsetAt(StartOf(index))};
    }
    return block;
}

// Whether the offset changes after block `index` starts, up to the next block's first second;
// `change` gets the first second of the new offset.
bool ChangeAfterStart(std::int64_t index, std::int64_t& change) {
    const std::int32_t before = BlockAt(index).offsetAtStart;
    const std::int32_t after = BlockAt(index + 1).offsetAtStart;
    Block& block = BlockAt(index);
    if (!block.changeKnown) {
        block.changeKnown = true;
        block.changes = before != after;
        std::int64_t first = StartOf(index);
        std::int64_t last = StartOf(index + 1);
        while (block.changes && last - first > 1) {
            const std::int64_t middle = first + (last - first) / 2;
            (SystemZoneOffsetAt(middle) == before ? first : last) = middle;
        }
        block.change = last;
    }
    change = block.change;
    return block.changes;
}

std::int32_t OffsetAtLocked(std::int64_t utcSeconds) {
    const std::int64_t index = BlockIndexOf(utcSeconds);
    std::int64_t change = 0;
    const bool changed = ChangeAfterStart(index, change) && utcSeconds >= change;
    return BlockAt(changed ? index + 1 : index).offsetAtStart;
}

bool NextChangeLocked(std::int64_t after, std::int64_t limit, std::int64_t& change) {
    for (std::int64_t index = BlockIndexOf(after); StartOf(index) <= limit; ++index) {
        if (ChangeAfterStart(index, change) && change > after) {
            return change <= limit;
        }
    }
    return false;
}

}  // namespace

std::int32_t LocalTimeZone::OffsetAt(std::int64_t utcSeconds) {
    const std::lock_guard lock(g_zoneMutex);
    return OffsetAtLocked(utcSeconds);
}

bool LocalTimeZone::NextChange(std::int64_t after, std::int64_t limit, std::int64_t& change) {
    const std::lock_guard lock(g_zoneMutex);
    return NextChangeLocked(after, limit, change);
}

void LocalTimeZone::Reload() {
    const std::lock_guard lock(g_zoneMutex);
    ReloadSystemZone();
    g_blocks = {};
    g_generation.fetch_add(1);
}

std::uint64_t LocalTimeZone::Generation() {
    return g_generation.load(std::memory_order_acquire);
}
