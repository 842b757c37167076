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
#include "support/Eventually.h"
#include "support/TempFolder.h"

namespace {

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

// Whether a waiter already waits when the owner dies, or comes after: it gets the mutex at once,
// as abandoned, and after it the mutex is whole again.
TEST(NamedMutexTest, HeldByAKilledProcessIsAcquiredAtOnceAsAbandoned) {
    for (const bool waiting : {true, false}) {
        SCOPED_TRACE(waiting ? "waiting" : "coming after");
        const std::wstring name = UniqueName(waiting ? L"abandoned" : L"abandoned earlier");
        auto mutex = OpenMutex(name);
        TempFolder folder;
        const std::string held = WideToUtf8(folder / L"held");
        ChildProcess child("HoldNamedMutex", {WideToUtf8(name), held});
        ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(held); }))
            << "the child never took the mutex";
        EXPECT_EQ(mutex->Acquire(0), WAIT_TIMEOUT);
        std::thread waiter;
        if (waiting) {
            waiter = std::thread([&] {
                auto own = OpenMutex(name);
                EXPECT_EQ(own->Acquire(kHangGuardMs), WAIT_ABANDONED);
                EXPECT_TRUE(own->Release());
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        child.Kill();
        EXPECT_EQ(child.Wait(), kKilledExitStatus);
        if (waiting) {
            waiter.join();
        }
        EXPECT_EQ(mutex->Acquire(kHangGuardMs), waiting ? WAIT_OBJECT_0 : WAIT_ABANDONED);
        EXPECT_TRUE(mutex->Release());
    }
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
