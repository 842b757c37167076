// What keeps an engine's picture of its folder true when the folder watch cannot: an engine that
// cannot open the watch reads the folder at every cycle until it can, and a temporary whose
// writer died, which changes nothing in the folder the watch would report, is removed by the
// next look at the folder all the same.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <fcntl.h>

#include <atomic>
#include <functional>

#include "engine/EngineTestSupport.h"
#include "platform/FileDescriptor.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/WideText.h"
#include "support/Folders.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"

namespace {

constexpr wchar_t kTaskA[] = L"{11111111-1111-4111-8111-111111111111}";
constexpr wchar_t kTaskB[] = L"{22222222-2222-4222-8222-222222222222}";
constexpr auto kHangGuard = std::chrono::seconds(20);

// Puts a task document into the folder whole, as a careful writer does: a scan at any moment
// finds it complete or not at all.
void PlaceTask(TestEngine& engine, const wchar_t* identity, const std::wstring& document) {
    const std::wstring written = JoinPath(engine.WorkFolder(), L"unplaced");
    WriteBytes(written, WideToUtf8(document));
    ASSERT_EQ(::chmod(WideToUtf8(written).c_str(), 0644), 0);
    ASSERT_EQ(RenameFile(written, JoinPath(engine.WorkFolder(), std::wstring(identity) + L".xml")),
              ERROR_SUCCESS);
}

// A cycle of the scheduler thread, which a change of zone brings about at once.
void BringACycle(TestEngine& engine) {
    static int zone = 0;
    WriteBytes(engine.ZoneFile(), "zone " + std::to_string(++zone));
}

TEST(EngineFolderUpkeep, WithoutAWatchTheFolderIsReadAtEveryCycleUntilOneOpens) {
    LogCapture log;  // outlives the engine, whose threads log until they end
    std::atomic<bool> watchable{false};
    TestEngine engine(nullptr, [&](std::wstring_view folder) -> std::unique_ptr<FolderWatch> {
        if (!watchable) {
            SetLastError(ERROR_TOO_MANY_OPEN_FILES);  // as when the system's watches run out
            return nullptr;
        }
        return FolderWatch::Open(folder);
    });
    engine.Configure();
    ASSERT_TRUE(engine->Enable());
    PlaceTask(engine, kTaskA, OnceTask(L"A", L"2030-01-01 10:00:00"));
    BringACycle(engine);
    EXPECT_TRUE(HoldsWithin(kHangGuard, [&] { return ListCount(*engine) == 1; }));
    BringACycle(engine);
    EXPECT_EQ(log.Matching(L"Cannot watch the task directory " + engine.WorkFolder()).size(), 1u);

    watchable = true;
    BringACycle(engine);
    EXPECT_TRUE(HoldsWithin(kHangGuard, [&] {
        return !log.Matching(L"Watching the task directory " + engine.WorkFolder() + L" again")
                    .empty();
    }));
    PlaceTask(engine, kTaskB, OnceTask(L"B", L"2030-01-01 10:00:00"));  // the watch reports it
    EXPECT_TRUE(HoldsWithin(kHangGuard, [&] { return ListCount(*engine) == 2; }));
}

bool HasTemporariesInUse(CZynTaskSchedulerThread& engine) {
    ScopedLock lock(engine.MainLock());
    return engine.TaskList()->HasTemporariesInUse();
}

struct LookRow {
    const char* what;
    std::function<void(TestEngine&)> look;
};

TEST(EngineFolderUpkeep, TemporaryOfAWriterThatDiedGoesAtTheNextLook) {
    const LookRow rows[] = {
        {"another file changes",
         [](TestEngine& engine) { WriteBytes(JoinPath(engine.WorkFolder(), L"notes.txt"), "x"); }},
        {"a cycle passes", [](TestEngine& engine) { BringACycle(engine); }},
    };
    for (const LookRow& row : rows) {
        SCOPED_TRACE(row.what);
        LogCapture log;
        TestEngine engine;
        engine.Configure();
        ASSERT_TRUE(engine->Enable());
        const std::wstring temporary =
            JoinPath(engine.WorkFolder(), L"." + std::wstring(kTaskA) + L".xml.Ab12Cd");
        FileDescriptor writer(
            ::open(WideToUtf8(temporary).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
        ASSERT_TRUE(writer.IsValid());
        ASSERT_EQ(::flock(writer.Get(), LOCK_EX), 0);
        // Older than any writer takes to lock its temporary: only the lock says it is in use.
        const struct timespec longAgo[2] = {{1, 0}, {1, 0}};
        ASSERT_EQ(::futimens(writer.Get(), longAgo), 0);
        ASSERT_TRUE(HoldsWithin(kHangGuard, [&] { return HasTemporariesInUse(*engine); }));

        writer.Reset();  // the writer dies: its lock goes, and the folder does not change
        row.look(engine);
        EXPECT_TRUE(HoldsWithin(kHangGuard, [&] { return !FileExists(temporary); }));
        EXPECT_TRUE(HoldsWithin(kHangGuard, [&] { return !HasTemporariesInUse(*engine); }));
    }
}

}  // namespace
