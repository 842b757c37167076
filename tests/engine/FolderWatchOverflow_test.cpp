// A burst of changes in the work folder that is more than the folder watch can report: the
// engine notices that notifications were lost, reads the folder again and ends with exactly
// the tasks on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "engine/EngineTestSupport.h"
#include "platform/Path.h"
#include "platform/WideText.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"

namespace {

namespace fs = std::filesystem;

constexpr int kBurst = 20000;
constexpr int kKeptEvery = 10;  // one file in ten stays
constexpr int kListedBefore = 200;
// Reading thousands of documents under a sanitizer is slow; only a hang takes this long.
constexpr auto kRescanGuard = std::chrono::seconds(300);

std::wstring Identity(int number) {
    return FormatText(64, L"{%08X-0000-4000-8000-000000000000}", static_cast<unsigned>(number));
}

std::set<std::wstring> ListedIdentities(CZynTaskSchedulerThread& engine) {
    ScopedLock lock(engine.MainLock());
    std::set<std::wstring> identities;
    for (ULONG i = 0; const auto element = engine.TaskList()->GetTask(i); ++i) {
        identities.insert(element->Identity);
    }
    return identities;
}

std::set<std::wstring> IdentitiesOnDisk(const std::wstring& folder) {
    std::set<std::wstring> identities;
    for (const auto& entry : fs::directory_iterator(WideToUtf8(folder))) {
        if (entry.is_regular_file() && entry.path().extension() == ".xml") {
            identities.insert(Utf8ToWideLossy(entry.path().stem().string()));
        }
    }
    return identities;
}

// How many events the system queues for one watch before it drops them.
long QueuedEventLimit() {
    std::ifstream limit("/proc/sys/fs/inotify/max_queued_events");
    long events = 0;
    limit >> events;
    return events;
}

TEST(EngineFolderWatch, OverflowIsNoticedAndTheFolderReadAgain) {
    // Each new file is at least two events (created, written), each removed one a third.
    const long events = 2L * kBurst + (kBurst - kBurst / kKeptEvery) + kListedBefore;
    if (QueuedEventLimit() >= events) {
        GTEST_SKIP() << "the system queues " << QueuedEventLimit() << " events: no overflow";
    }
    LogCapture log;  // outlives the engine, whose threads log until they end
    TestEngine engine;
    const std::wstring document = OnceTask(L"Burst", L"2099-01-01 10:00:00");
    for (int i = 0; i < kListedBefore; ++i) {
        engine.WriteTask(Identity(kBurst + i), document);
    }
    engine.Configure();
    ASSERT_EQ(ListCount(*engine), static_cast<ULONG>(kListedBefore));
    ASSERT_TRUE(engine->Enable());
    {
        // A scheduler thread busy under its main lock reads no notification meanwhile.
        ScopedLock busy(engine->MainLock());
        for (int i = 0; i < kListedBefore; ++i) {
            fs::remove(WideToUtf8(JoinPath(engine.WorkFolder(), Identity(kBurst + i) + L".xml")));
        }
        for (int i = 0; i < kBurst; ++i) {
            const std::wstring path = engine.WriteTask(Identity(i), document);
            if (i % kKeptEvery != 0) {
                fs::remove(WideToUtf8(path));
            }
        }
    }
    const std::set<std::wstring> onDisk = IdentitiesOnDisk(engine.WorkFolder());
    ASSERT_EQ(onDisk.size(), static_cast<std::size_t>(kBurst / kKeptEvery));
    EXPECT_TRUE(HoldsWithin(kRescanGuard, [&] {
        return !log.Matching(L"Too many changes in task directory at ").empty();
    }));
    EXPECT_TRUE(HoldsWithin(kRescanGuard, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // leave the lock to the engine
        return ListedIdentities(*engine) == onDisk;
    }));
    EXPECT_EQ(ListCount(*engine), onDisk.size());
}

}  // namespace
