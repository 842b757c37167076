#include "platform/MemoryProbe.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
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
    bool Protect(std::size_t index, int protection) const {
        return ::mprotect(Page(index), PageSize(), protection) == 0;
    }

private:
    std::size_t m_size;
    char* m_base;
};

TEST(MemoryProbeTest, AnswersForEveryPageOfTheRange) {
    // The first probe on a thread learns the thread's stack, which may map memory (a
    // sanitizer's allocator does); done before the page is released, so that nothing can be
    // mapped into its place before it is probed.
    int onStack = 0;
    ASSERT_TRUE(IsWritableMemory(&onStack, sizeof(onStack)));
    // More pages than one round of the kernel copy takes: pages 1 and 998 read-only, 2 and 999
    // closed.
    constexpr std::size_t kCount = 1000;
    const Pages pages(kCount);
    ASSERT_TRUE(pages.IsValid());
    for (const std::size_t closed : {std::size_t{2}, kCount - 1}) {
        ASSERT_TRUE(pages.Protect(closed - 1, PROT_READ));
        ASSERT_TRUE(pages.Protect(closed, PROT_NONE));
    }
    char* released = nullptr;
    {
        const Pages gone(1);
        ASSERT_TRUE(gone.IsValid());
        released = gone.Page(0);
    }
    EXPECT_FALSE(IsReadableMemory(released, 1));
    EXPECT_FALSE(IsWritableMemory(released, 1));

    const std::vector<char> onHeap(100000);
    const std::size_t page = Pages::PageSize();
    char* const start = pages.Page(3) + 1;
    const auto upTo = [&](std::size_t end) {
        return static_cast<std::size_t>(pages.Page(end) - start);
    };
    const struct {
        const char* what;
        const void* address;
        std::size_t size;
        bool readable;
        bool writable;
    } rows[] = {
        {"null, nothing", nullptr, 0, false, false},
        {"null, one byte", nullptr, 1, false, false},
        {"stack", &onStack, sizeof onStack, true, true},
        {"heap", onHeap.data(), onHeap.size(), true, true},
        {"constant", kConstantText, sizeof kConstantText, true, false},
        {"code", reinterpret_cast<const void*>(&Pages::PageSize), 1, true, false},
        {"writable page", pages.Page(0), page, true, true},
        {"its last byte", pages.Page(1) - 1, 1, true, true},
        {"one byte into the read-only page", pages.Page(1) - 1, 2, true, false},
        {"read-only page", pages.Page(1), page, true, false},
        {"one byte into the closed page", pages.Page(1), page + 1, false, false},
        {"inside the closed page", pages.Page(2) + page / 2, 1, false, false},
        {"across the closed page", pages.Page(0), 4 * page, false, false},
        {"writable page after it", pages.Page(3), page, true, true},
        {"long, writable", start, upTo(kCount - 2), true, true},
        {"long, to a read-only page", start, upTo(kCount - 1), true, false},
        {"long, to a closed page", start, upTo(kCount), false, false},
        {"wrapping", reinterpret_cast<const void*>(UINTPTR_MAX - 8), 16, false, false},
        {"beyond the address space", &onStack, SIZE_MAX, false, false},
        {"nothing asked of a low address", reinterpret_cast<const void*>(std::uintptr_t{16}), 0,
         true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(IsReadableMemory(row.address, row.size), row.readable);
        EXPECT_EQ(IsWritableMemory(row.address, row.size), row.writable);
    }
}

}  // namespace
