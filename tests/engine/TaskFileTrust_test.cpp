// Which files of the work folder the engine's scan loads: only regular files that nobody but the
// engine's user or root can have written. Others stay where they are, unloaded and not set
// aside, with one warning per file and reason, until they are fixed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "engine/EngineTestSupport.h"
#include "platform/Path.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/Folders.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"
#include "tasks/RunRecordFile.h"

namespace {

namespace fs = std::filesystem;

constexpr wchar_t kTask[] = L"{33333333-3333-4333-8333-333333333333}";
constexpr wchar_t kOtherTask[] = L"{44444444-4444-4444-8444-444444444444}";
constexpr uid_t kNobody = 65534;
constexpr uid_t kAnotherUser = 1;
constexpr fs::perms kOwnerWritable = fs::perms(0644);

bool IsRoot() {
    return ::geteuid() == 0;
}

bool IsListed(CZynTaskSchedulerThread& engine, const std::wstring& identity) {
    ScopedLock lock(engine.MainLock());
    return engine.TaskList() && engine.TaskList()->GetTask(identity);
}

void ChangeOwner(const std::wstring& path, uid_t owner) {
    ASSERT_EQ(::lchown(WideToUtf8(path).c_str(), owner, owner), 0);
}

// A task file in a state the engine must refuse, and the way back to one it accepts.
struct Spoiling {
    const char* what;
    std::function<void(const std::wstring& path, const std::wstring& document)> spoil;
    std::function<void(const std::wstring& path, const std::wstring& document)> fix;
    std::wstring reason;
    bool needsRoot = false;
};

void ReplaceWithDocument(const std::wstring& path, const std::wstring& document) {
    fs::remove(WideToUtf8(path));
    WriteBytes(path, WideToUtf8(document));
    fs::permissions(WideToUtf8(path), kOwnerWritable);
}

std::vector<Spoiling> Spoilings(const TempFolder& elsewhere) {
    const auto mode = [](fs::perms perms) {
        return [perms](const std::wstring& path, const std::wstring&) {
            fs::permissions(WideToUtf8(path), perms);
        };
    };
    const auto owner = [](uid_t id) {
        return [id](const std::wstring& path, const std::wstring&) { ChangeOwner(path, id); };
    };
    const std::wstring target = elsewhere / L"target.xml";
    return {
        {"writable by its group", mode(fs::perms(0664)), mode(kOwnerWritable),
         L"it is writable by group or others"},
        {"writable by others", mode(fs::perms(0646)), mode(kOwnerWritable),
         L"it is writable by group or others"},
        {"a symbolic link to a good document",
         [target](const std::wstring& path, const std::wstring& document) {
             ReplaceWithDocument(target, document);
             fs::remove(WideToUtf8(path));
             fs::create_symlink(WideToUtf8(target), WideToUtf8(path));
         },
         ReplaceWithDocument, L"it is not a regular file"},
        {"a pipe",
         [](const std::wstring& path, const std::wstring&) {
             fs::remove(WideToUtf8(path));
             ASSERT_EQ(::mkfifo(WideToUtf8(path).c_str(), 0644), 0);
         },
         ReplaceWithDocument, L"it is not a regular file"},
        {"owned by another user", owner(kNobody), owner(0),
         L"it is owned by user 65534, not by this process's user or root", true},
    };
}

class TaskFileTrustTest : public testing::Test {
protected:
    std::size_t Warnings(const std::wstring& reason) const {
        return log.Matching(L"Skipping task file " + path + L": " + reason).size();
    }
    // The task's records of runs that do not happen because its file is refused for `reason`.
    std::size_t TrustRecords(const std::wstring& reason) {
        std::size_t count = 0;
        for (const RunRecord& record : RunRecordsOf(*engine, kTask)) {
            count +=
                record.skipped == SkipReason::FileNotTrusted && record.detail.ends_with(reason);
        }
        return count;
    }
    bool IsInvalid() const {
        return FileExists(
            JoinPath(engine.WorkFolder(), std::wstring(L"Invalid/") + kTask + L".xml"));
    }

    LogCapture log;  // outlives the engine, whose threads log until they end
    TestEngine engine;
    TempFolder elsewhere;
    const std::wstring document = OnceTask(L"Trusted", L"2030-01-01 10:00:00");
    std::wstring path;
};

TEST_F(TaskFileTrustTest, RefusedFileIsLeftAloneUntilFixedAndLoggedOncePerRegression) {
    engine.Configure();
    for (const Spoiling& row : Spoilings(elsewhere)) {
        SCOPED_TRACE(row.what);
        if (row.needsRoot && !IsRoot()) {
            continue;  // only root can give a file away
        }
        log.Clear();
        path = engine.WriteTask(kTask, document);
        RunRecordFile(JoinPath(engine.WorkFolder(), L"Logs"), kTask).Remove();
        row.spoil(path, document);
        for (int scan = 0; scan < 3; ++scan) {
            engine->UpdateTaskList();
        }
        EXPECT_FALSE(IsListed(*engine, kTask));
        EXPECT_EQ(Warnings(row.reason), 1u);
        EXPECT_EQ(TrustRecords(row.reason), 1u);
        EXPECT_TRUE(fs::exists(fs::symlink_status(WideToUtf8(path))));  // neither moved...
        EXPECT_FALSE(IsInvalid());                                      // ...nor set aside

        row.fix(path, document);
        engine->UpdateTaskList();
        EXPECT_TRUE(IsListed(*engine, kTask));

        row.spoil(path, document);  // a listed task whose file regresses is dropped
        engine->UpdateTaskList();
        engine->UpdateTaskList();
        EXPECT_FALSE(IsListed(*engine, kTask));
        EXPECT_EQ(Warnings(row.reason), 2u);
        EXPECT_EQ(TrustRecords(row.reason), 2u);

        row.fix(path, document);
        engine->UpdateTaskList();
        EXPECT_TRUE(IsListed(*engine, kTask));
        fs::remove(WideToUtf8(path));
        engine->UpdateTaskList();
    }
}

TEST_F(TaskFileTrustTest, EachNewReasonIsLoggedAndTheRestOfTheFolderKeepsWorking) {
    if (!IsRoot()) {
        GTEST_SKIP() << "only root can give a file away";
    }
    engine.WriteTask(kOtherTask, OnceTask(L"Other", L"2030-01-01 10:00:00"));
    path = engine.WriteTask(kTask, document);
    engine.Configure();
    ASSERT_TRUE(IsListed(*engine, kTask));

    // Broken by someone else: a lookup by name must not read it (a broken file it reads is
    // set aside), and the next scan drops the task but leaves the file where it is.
    engine.WriteTask(kTask, L"<Schedule Name='Broken'><Task>");
    fs::permissions(WideToUtf8(path), fs::perms(0664));
    {
        ScopedLock lock(engine->MainLock());
        EXPECT_FALSE(engine->TaskList()->GetTask(std::wstring_view(L"No such name")));
    }
    EXPECT_FALSE(IsInvalid());
    engine->UpdateTaskList();
    EXPECT_FALSE(IsListed(*engine, kTask));
    EXPECT_TRUE(IsListed(*engine, kOtherTask));
    EXPECT_FALSE(IsInvalid());
    EXPECT_EQ(Warnings(L"it is writable by group or others"), 1u);

    ChangeOwner(path, kNobody);  // the owner is looked at first: a new reason
    engine->UpdateTaskList();
    engine->UpdateTaskList();
    EXPECT_EQ(Warnings(L"it is owned by user 65534"), 1u);
    EXPECT_EQ(Warnings(L"it is writable by group or others"), 1u);
    EXPECT_TRUE(fs::exists(WideToUtf8(path)));
    EXPECT_FALSE(IsInvalid());
    EXPECT_EQ(ListCount(*engine), 1u);
}

// An engine running as "nobody" on a folder of its own: files of its user and of root are
// loaded, a file of any other user is not.
ZYN_CHILD_ROLE(ScanAsNobody) {
    LogCapture log;
    TaskObjectsOnly factory;
    auto engine = MakeCounted<CZynTaskSchedulerThread>(&factory);
    engine->SetConfiguration(L"<TaskScheduler WorkFolder='" + Utf8ToWideLossy(args.at(0)) + L"'/>");
    const ULONG count = ListCount(*engine);
    const std::size_t warnings =
        log.Matching(L": it is owned by user 1, not by this process's user or root").size();
    engine->Shutdown();
    return count == 2 && warnings == 1 ? 0 : 1;
}

TEST(TaskFileTrustAsAnotherUser, FilesOfTheProcessUserAndOfRootAreLoaded) {
    if (!IsRoot()) {
        GTEST_SKIP() << "only root can hand files to other users";
    }
    TempFolder folder;
    fs::permissions(WideToUtf8(folder.Path()), fs::perms(0755));
    const std::wstring work = folder / L"work";
    ASSERT_TRUE(CreateDirectoryPath(work));
    ChangeOwner(work, kNobody);
    const auto write = [&](int number, uid_t owner) {
        const std::wstring file = JoinPath(
            work, L"{5555555" + std::to_wstring(number) + L"-5555-4555-8555-555555555555}.xml");
        WriteBytes(file,
                   WideToUtf8(OnceTask(L"T" + std::to_wstring(number), L"2030-01-01 10:00:00")));
        fs::permissions(WideToUtf8(file), kOwnerWritable);
        ChangeOwner(file, owner);
    };
    write(1, kNobody);
    write(2, 0);
    write(3, kAnotherUser);
    ChildProcess child("ScanAsNobody", {WideToUtf8(work)}, true);
    EXPECT_EQ(child.Wait(), 0);
}

}  // namespace
