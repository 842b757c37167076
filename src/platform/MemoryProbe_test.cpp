#include "platform/MemoryProbe.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

const char kConstantText[] = "kept in read-only memory";

// A private anonymous mapping of whole pages, unmapped when it goes.
class Pages {
public:
    explicit Pages(std::size_t count)
        : m_size(count * PageSize()),
          m_base(static_cast<char*>(::mmap(nullptr, m_size, PROT_READ | PROT_WRITE,
                                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))) {}
    ~Pages() {
        if (m_base != MAP_FAILED) {
            ::munmap(m_base, m_size);
        }
    }
    Pages(const Pages&) = delete;
    Pages& operator=(const Pages&) = delete;

    static std::size_t PageSize() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }
    bool IsValid() const { return m_base != MAP_FAILED; }
    char* Page(std::size_t index) const { return m_base + index * PageSize(); }
    std::size_t Size() const { return m_size; }
    bool Protect(std::size_t index, int protection) const {
        return ::mprotect(Page(index), PageSize(), protection) == 0;
    }

private:
    std::size_t m_size;
    char* m_base;
};

struct Expected {
    bool readable;
    bool writable;
};

void ExpectAccess(const char* what, const void* address, std::size_t size, Expected expected) {
    SCOPED_TRACE(what);
    EXPECT_EQ(IsReadableMemory(address, size), expected.readable);
    EXPECT_EQ(IsWritableMemory(address, size), expected.writable);
}

TEST(MemoryProbeTest, NullIsNeverAccessible) {
    ExpectAccess("null, nothing", nullptr, 0, {false, false});
    ExpectAccess("null, one byte", nullptr, 1, {false, false});
}

TEST(MemoryProbeTest, OrdinaryObjectsAreAccessible) {
    int onStack = 0;
    std::vector<char> onHeap(100000);
    std::string text = "in the heap or in the object";
    ExpectAccess("stack", &onStack, sizeof onStack, {true, true});
    ExpectAccess("heap", onHeap.data(), onHeap.size(), {true, true});
    ExpectAccess("string", text.data(), text.size() + 1, {true, true});
}

TEST(MemoryProbeTest, ConstantDataIsReadableOnly) {
    ExpectAccess("constant", kConstantText, sizeof kConstantText, {true, false});
    ExpectAccess("code", reinterpret_cast<const void*>(&ExpectAccess), 1, {true, false});
}

TEST(MemoryProbeTest, EveryPageOfTheRangeCounts) {
    Pages pages(4);
    ASSERT_TRUE(pages.IsValid());
    ASSERT_TRUE(pages.Protect(1, PROT_READ));
    ASSERT_TRUE(pages.Protect(2, PROT_NONE));
    const std::size_t page = Pages::PageSize();

    ExpectAccess("writable page", pages.Page(0), page, {true, true});
    ExpectAccess("its last byte", pages.Page(1) - 1, 1, {true, true});
    ExpectAccess("one byte into the read-only page", pages.Page(1) - 1, 2, {true, false});
    ExpectAccess("read-only page", pages.Page(1), page, {true, false});
    ExpectAccess("one byte into the closed page", pages.Page(1), page + 1, {false, false});
    ExpectAccess("inside the closed page", pages.Page(2) + page / 2, 1, {false, false});
    ExpectAccess("across the closed page", pages.Page(0), pages.Size(), {false, false});
    ExpectAccess("writable page after it", pages.Page(3), page, {true, true});
}

TEST(MemoryProbeTest, LongRangesAreCheckedToTheirLastPage) {
    // More pages than one round of the kernel copy takes.
    constexpr std::size_t kCount = 1000;
    Pages pages(kCount);
    ASSERT_TRUE(pages.IsValid());
    char* const start = pages.Page(0) + 1;
    ExpectAccess("all writable", start, pages.Size() - 1, {true, true});
    ASSERT_TRUE(pages.Protect(kCount - 1, PROT_READ));
    ExpectAccess("last page read-only", start, pages.Size() - 1, {true, false});
    ASSERT_TRUE(pages.Protect(kCount - 1, PROT_NONE));
    ExpectAccess("last page closed", start, pages.Size() - 1, {false, false});
    ExpectAccess("up to the closed page", start, pages.Size() - Pages::PageSize() - 1,
                 {true, true});
}

TEST(MemoryProbeTest, UnmappedAndWrappingAddressesAreNotAccessible) {
    // The first probe on a thread learns the thread's stack, which may map memory (a
    // sanitizer's allocator does); done before the page is released, so that nothing can be
    // mapped into its place before it is probed.
    int warmUp = 0;
    ASSERT_TRUE(IsWritableMemory(&warmUp, sizeof(warmUp)));
    char* released = nullptr;
    {
        Pages pages(1);
        ASSERT_TRUE(pages.IsValid());
        released = pages.Page(0);
    }
    ExpectAccess("unmapped", released, 1, {false, false});
    ExpectAccess("wrapping", reinterpret_cast<const void*>(UINTPTR_MAX - 8), 16, {false, false});
    int onStack = 0;
    ExpectAccess("beyond the address space", &onStack, SIZE_MAX, {false, false});
}

TEST(MemoryProbeTest, ZeroSizeAsksNothingOfANonNullAddress) {
    ExpectAccess("low address", reinterpret_cast<const void*>(std::uintptr_t{16}), 0, {true, true});
}

}  // namespace
