#include "platform/SharedMemory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>

#include "platform/LastError.h"
#include "platform/ProcessInfo.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

std::wstring UniqueName(const wchar_t* purpose) {
    return L"ZynTest/" + std::wstring(purpose) + L" " + std::to_wstring(GetCurrentProcessId());
}

ObjectAccess AccessFor(const std::wstring& folder) {
    return *ObjectAccess::ForFolder(folder);
}

std::atomic_ref<std::uint32_t> Counter(const SharedMemory& memory) {
    return std::atomic_ref<std::uint32_t>(*static_cast<std::uint32_t*>(memory.Address()));
}

// Adds args[1] to the counter in the section named args[0] that guards the folder args[2].
ZYN_CHILD_ROLE(AddToSharedCounter) {
    auto memory = SharedMemory::Open(Utf8ToWideLossy(args.at(0)), sizeof(std::uint32_t),
                                     AccessFor(Utf8ToWideLossy(args.at(2))));
    if (!memory) {
        return 1;
    }
    Counter(*memory).fetch_add(static_cast<std::uint32_t>(std::stoul(args.at(1))));
    return 0;
}

// One name of one kind is one section, in every process, until its last holder lets it go.
TEST(SharedMemoryTest, OneNameIsOneSectionAcrossProcessesWhileHeld) {
    const std::wstring name = UniqueName(L"counter");
    const TempFolder folder;
    const ObjectAccess access = AccessFor(folder.Path());
    auto memory = SharedMemory::Open(name, sizeof(std::uint32_t), access);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(Counter(*memory).load(), 0u);
    auto again = SharedMemory::Open(name, sizeof(std::uint32_t), access);
    ASSERT_NE(again, nullptr);
    Counter(*again).fetch_add(1);
    ChildProcess child("AddToSharedCounter", {WideToUtf8(name), "41", WideToUtf8(folder.Path())});
    ASSERT_EQ(child.Wait(), 0);
    EXPECT_EQ(Counter(*memory).load(), 42u);

    auto other = SharedMemory::Open(name, sizeof(std::uint32_t), access, SharedMemory::Kind::Mutex);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(Counter(*other).load(), 0u) << "another kind is another section";

    memory.reset();
    EXPECT_EQ(Counter(*again).load(), 42u);
    again.reset();
    auto fresh = SharedMemory::Open(name, sizeof(std::uint32_t), access);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(Counter(*fresh).load(), 0u);
}

TEST(SharedMemoryTest, RefusesUnusableRequests) {
    const TempFolder folder;
    const ObjectAccess access = AccessFor(folder.Path());
    EXPECT_EQ(SharedMemory::Open(L"", 4, access), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_EQ(SharedMemory::Open(std::wstring(300, L'x'), 4, access), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(SharedMemory::Open(UniqueName(L"empty"), 0, access), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
