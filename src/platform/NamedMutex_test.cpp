#include "platform/NamedMutex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/LastError.h"
#include "platform/ProcessInfo.h"
#include "platform/UserFolders.h"
#include "platform/Wait.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

constexpr DWORD kHangGuardMs = 30000;

std::wstring UniqueName(const wchar_t* purpose) {
    return L"ZynTest " + std::wstring(purpose) + L" " + std::to_wstring(GetCurrentProcessId());
}

// Every mutex of these tests guards the temporary folder.
ObjectAccess TestAccess() {
    return *ObjectAccess::ForFolder(TemporaryFolder());
}

std::unique_ptr<NamedMutex> OpenMutex(const std::wstring& name) {
    auto mutex = NamedMutex::Open(name, TestAccess());
    EXPECT_NE(mutex, nullptr) << "error " << GetLastError();
    return mutex;
}

bool AwaitDirectory(const std::wstring& path) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangGuardMs);
    while (!std::filesystem::exists(WideToUtf8(path)) &&
           std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::filesystem::exists(WideToUtf8(path));
}

// Acquires the mutex named by args[0], says so by creating the file args[1], then waits to be
// killed.
ZYN_CHILD_ROLE(HoldNamedMutex) {
    auto mutex = NamedMutex::Open(Utf8ToWideLossy(args.at(0)), TestAccess());
    if (!mutex || mutex->Acquire(INFINITE) != WAIT_OBJECT_0) {
        return 1;
    }
    std::filesystem::create_directory(args.at(1));
    for (;;) {
        std::this_thread::sleep_for(std::chrono::hours(1));
    }
}

TEST(NamedMutexTest, OwnerMayAcquireAgainAndMustReleaseAsOften) {
    auto mutex = OpenMutex(UniqueName(L"recursion"));
    EXPECT_EQ(mutex->Acquire(0), WAIT_OBJECT_0);
    EXPECT_EQ(mutex->Acquire(INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(mutex->Release());
    EXPECT_TRUE(mutex->Release());
    EXPECT_FALSE(mutex->Release());
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
}

TEST(NamedMutexTest, SameNameIsOneMutexForEveryOpener) {
    const std::wstring name = UniqueName(L"sharing");
    auto mine = OpenMutex(name);
    auto theirs = OpenMutex(name);
    ASSERT_EQ(mine->Acquire(0), WAIT_OBJECT_0);
    std::thread other([&] {
        EXPECT_EQ(theirs->Acquire(0), WAIT_TIMEOUT);
        EXPECT_EQ(theirs->Acquire(20), WAIT_TIMEOUT);
        EXPECT_FALSE(theirs->Release());
    });
    other.join();
    ASSERT_TRUE(mine->Release());
    std::thread again([&] {
        EXPECT_EQ(theirs->Acquire(kHangGuardMs), WAIT_OBJECT_0);
        EXPECT_TRUE(theirs->Release());
    });
    again.join();
}

TEST(NamedMutexTest, HeldByAKilledProcessIsAcquiredAtOnce) {
    const std::wstring name = UniqueName(L"abandoned");
    auto mutex = OpenMutex(name);
    TempFolder folder;
    const std::wstring held = folder / L"held";
    ChildProcess child("HoldNamedMutex", {WideToUtf8(name), WideToUtf8(held)});
    ASSERT_TRUE(AwaitDirectory(held)) << "the child never took the mutex";
    EXPECT_EQ(mutex->Acquire(0), WAIT_TIMEOUT);

    // One waiter already waits when the owner dies, another comes after.
    std::thread waiter([&] {
        auto own = OpenMutex(name);
        EXPECT_EQ(own->Acquire(kHangGuardMs), WAIT_ABANDONED);
        EXPECT_TRUE(own->Release());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    child.Kill();
    EXPECT_EQ(child.Wait(), kKilledExitStatus);
    waiter.join();
    EXPECT_EQ(mutex->Acquire(0), WAIT_OBJECT_0);  // whole again
    EXPECT_TRUE(mutex->Release());
}

TEST(NamedMutexTest, AbandonedByAKilledProcessBeforeTheWait) {
    const std::wstring name = UniqueName(L"abandoned earlier");
    auto mutex = OpenMutex(name);
    TempFolder folder;
    const std::wstring held = folder / L"held";
    ChildProcess child("HoldNamedMutex", {WideToUtf8(name), WideToUtf8(held)});
    ASSERT_TRUE(AwaitDirectory(held)) << "the child never took the mutex";
    child.Kill();
    child.Wait();
    EXPECT_EQ(mutex->Acquire(kHangGuardMs), WAIT_ABANDONED);
    EXPECT_TRUE(mutex->Release());
}

TEST(NamedMutexTest, HeldByAnEndedThreadIsAcquiredAsAbandoned) {
    const std::wstring name = UniqueName(L"ended thread");
    auto mutex = OpenMutex(name);
    std::thread owner([&] {
        auto own = OpenMutex(name);
        EXPECT_EQ(own->Acquire(0), WAIT_OBJECT_0);
        // Closes its own opening, then ends, still owning the mutex.
    });
    owner.join();
    EXPECT_EQ(mutex->Acquire(0), WAIT_ABANDONED);
    EXPECT_TRUE(mutex->Release());
}

}  // namespace
