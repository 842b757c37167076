// What the engine keeps between cycles and refreshes instead of asking again: the next runs of
// its tasks, the versions of the task files its tasks loaded, and the schedule names read from
// them. Whatever is kept must give the answers that asking afresh gives: after the clock moved
// on or back, after a task file or a task's document changed, after a file was renamed inside.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "automation/ZynTask.h"
#include "engine/EngineTestSupport.h"
#include "engine/EngineTexts.h"
#include "platform/Path.h"
#include "platform/WideText.h"
#include "support/Folders.h"
#include "support/LogCall.h"
#include "support/LogCapture.h"
#include "support/LogSink.h"
#include "support/ScopedLock.h"
#include "tasks/ScheduleArithmetic.h"

namespace {

using namespace std::chrono_literals;

constexpr wchar_t kDaily[] = L"{77777777-7777-4777-8777-777777777771}";
constexpr wchar_t kWeekly[] = L"{77777777-7777-4777-8777-777777777772}";
constexpr wchar_t kMonthDays[] = L"{77777777-7777-4777-8777-777777777773}";
constexpr wchar_t kLastMonday[] = L"{77777777-7777-4777-8777-777777777774}";
constexpr wchar_t kOnce[] = L"{77777777-7777-4777-8777-777777777775}";
constexpr wchar_t kRepeating[] = L"{77777777-7777-4777-8777-777777777776}";
constexpr wchar_t kTwoTriggers[] = L"{77777777-7777-4777-8777-777777777777}";

const std::pair<const wchar_t*, const wchar_t*> kSchedules[] = {
    {kDaily, L"<Trigger Type='1'><BeginDate>2030-01-01 10:00:00</BeginDate></Trigger>"},
    {kWeekly,
     L"<Trigger Type='2'><BeginDate>2030-01-07 08:05:00</BeginDate><WeeksInterval>1"
     L"</WeeksInterval><DaysOfWeek>34</DaysOfWeek></Trigger>"},
    {kMonthDays,
     L"<Trigger Type='3'><BeginDate>2030-01-01 06:00:00</BeginDate><DaysOfMonth>16385"
     L"</DaysOfMonth></Trigger>"},
    {kLastMonday,
     L"<Trigger Type='4'><BeginDate>2030-01-01 08:00:00</BeginDate><Week>5</Week><DaysOfWeek>2"
     L"</DaysOfWeek></Trigger>"},
    {kOnce, L"<Trigger Type='0'><BeginDate>2030-01-03 12:00:30</BeginDate></Trigger>"},
    {kRepeating,
     L"<Trigger Type='1' Interval='7' Duration='600'><BeginDate>2030-01-01 23:00:00</BeginDate>"
     L"</Trigger>"},
    {kTwoTriggers,
     L"<Trigger Type='1'><BeginDate>2030-01-01 07:15:00</BeginDate></Trigger>"
     L"<Trigger Type='0'><BeginDate>2030-01-02 03:00:00</BeginDate></Trigger>"},
};

std::wstring DailyAt(const std::wstring& name, const std::wstring& time) {
    return TaskDocument(
        name, L"<Trigger Type='1'><BeginDate>2030-01-01 " + time + L"</BeginDate></Trigger>");
}

class EngineCaches : public testing::Test {
protected:
    EngineCaches() : clock(LocalMoment(2030, 1, 1, 9, 0, 0)) {}

    DWORD CheckTasks() {
        ScopedLock lock(engine->MainLock());
        return engine->CheckTasks();
    }

    CountedPtr<CZynTaskListElement> Element(const wchar_t* identity) {
        ScopedLock lock(engine->MainLock());
        return engine->TaskList()->GetTask(identity);
    }

    // The wall time of a moment of the engine's real time line; 0 for none.
    DATE WallDate(RealTime moment) {
        ScopedLock lock(engine->MainLock());
        return moment == 0 ? 0 : DateOfWallTime(engine->Timeline().WallAt(moment));
    }

    DATE NextRunInList(const wchar_t* identity) {
        ScopedLock lock(engine->MainLock());
        return WallDate(engine->TaskList()->GetTask(identity)->NextRunTime);
    }

    // What a task object of its own, reading the file afresh, says of the run after `reference`.
    DATE FreshNextRun(const wchar_t* identity, DATE reference) {
        const ComPtr<IZynTask> task = MakeZynTask(CountedPtr<CZynTaskSchedulerThread>(&*engine), 0);
        EXPECT_EQ(task->put_Guid(CBstr(identity).Get()), S_OK);
        CVariantHolder at;
        at.vt = VT_DATE;
        at.date = reference;
        DATE next = -1;
        EXPECT_EQ(task->GetNextRunTime(at, &next), S_OK);
        return next;
    }

    bool NameTaken(const std::wstring& name, const wchar_t* byOtherThan) {
        return engine->IsTaskNameTaken(name, byOtherThan);
    }

    // A later modification time than the file's last one, even on coarse clocks.
    void Rewrite(const wchar_t* identity, const std::wstring& document) {
        std::this_thread::sleep_for(20ms);
        engine.WriteTask(identity, document);
    }

    TestClock clock;
    TestEngine engine;
};

TEST_F(EngineCaches, KeptNextRunsAreWhatAskingAfreshGivesWhereverTheClockGoes) {
    for (const auto& [identity, triggers] : kSchedules) {
        engine.WriteTask(identity, TaskDocument(identity, triggers));
    }
    engine.Configure();
    std::mt19937 random(20300101);
    WallClock::TimePoint now = LocalMoment(2030, 1, 1, 9, 0, 0);
    const std::chrono::seconds steps[] = {1s, 7s, 59s, 10min, 1h, 5h, 26h, 9 * 24h};
    DWORD wait = CheckTasks();
    for (int round = 0; round < 400; ++round) {
        // As the scheduler thread goes: to the earliest run's very second; or on by a second up
        // to days; sometimes back by up to two hours.
        const int move = std::uniform_int_distribution<int>(0, 9)(random);
        if (move < 4 && wait != INFINITE) {
            now += std::chrono::milliseconds(wait);
        } else if (move == 4) {
            now -= std::chrono::seconds(std::uniform_int_distribution<int>(1, 7200)(random));
        } else {
            now +=
                steps[std::uniform_int_distribution<std::size_t>(0, std::size(steps) - 1)(random)];
        }
        clock.Set(now);
        wait = CheckTasks();
        DATE reference = 0;
        ASSERT_TRUE(CurrentLocalDate(reference));
        RealTime previous = 0;
        ScopedLock lock(engine->MainLock());
        CZynTasksList& list = *engine->TaskList();
        for (list.MoveFirst(); auto element = list.GetCurrent(); list.MoveNext()) {
            SCOPED_TRACE(testing::Message() << "round " << round << " at " << DateText(reference)
                                            << ", task " << WideToUtf8(element->Identity));
            const DATE kept = WallDate(element->NextRunTime);
            const DATE fresh = FreshNextRun(element->Identity.c_str(), reference);
            EXPECT_EQ(CompareDates(kept, fresh), 0)
                << "kept " << DateText(kept) << ", afresh " << DateText(fresh);
            EXPECT_LE(previous, element->NextRunTime) << "the list is in order of next runs";
            previous = element->NextRunTime;
        }
    }
}

// Records the queueing of runs; untraced, it takes information records only, as the agent log
// does by default, and trace records are not even made.
class QueueingRecorder final : public LogSink {
public:
    explicit QueueingRecorder(bool traced) : m_traced(traced), m_previous(LogSink::Install(this)) {}
    ~QueueingRecorder() override { LogSink::Install(m_previous); }
    void Write(DWORD severity, const wchar_t*, const wchar_t* message) override {
        const std::lock_guard lock(m_mutex);
        if (Accepts(severity) && std::wstring_view(message).starts_with(L"Queueing task ")) {
            m_queued.emplace_back(message);
        }
    }
    bool Accepts(DWORD severity) override {
        return m_traced || severity <= CE_SEVERITY_INFORMATION;
    }

    std::vector<std::wstring> Queued() {
        const std::lock_guard lock(m_mutex);
        return m_queued;
    }

private:
    const bool m_traced;
    LogSink* m_previous;
    std::mutex m_mutex;
    std::vector<std::wstring> m_queued;
};

// Without trace, the due check stops at the first task not yet due; with it, it looks at (and
// traces) every task. Both queue the same runs, tasks added by a refresh in between included.
TEST_F(EngineCaches, DueTasksAreQueuedAlikeWhetherEveryCheckIsTracedOrNot) {
    std::vector<std::wstring> queued[2];
    for (const bool traced : {true, false}) {
        TestEngine scheduler;
        scheduler.WriteTask(kDaily, DailyAt(L"daily", L"10:00:00"));
        scheduler.WriteTask(kOnce, OnceTask(L"once", L"2030-01-01 10:00:03"));
        scheduler.WriteTask(kTwoTriggers, DailyAt(L"two", L"10:00:03"));
        scheduler.WriteTask(kWeekly, OnceTask(L"later", L"2030-01-01 11:00:00"));
        scheduler.Configure(L"MaxExecQueueSize='100'");
        QueueingRecorder recorder(traced);
        WallClock::TimePoint now = LocalMoment(2030, 1, 1, 9, 59, 58);
        for (int step = 0; step < 12; ++step) {
            clock.Set(now);
            ScopedLock lock(scheduler->MainLock());
            const DWORD wait = scheduler->CheckTasks();
            if (step == 3) {  // added after the cycle, before the due check
                scheduler.WriteTask(kMonthDays, OnceTask(L"added", L"2030-01-01 10:00:05"));
                scheduler->UpdateTaskList();
            }
            now += std::min(std::chrono::milliseconds(wait), std::chrono::milliseconds(1000));
            clock.Set(now);
            scheduler->ExecuteDueTasks();
        }
        queued[traced ? 0 : 1] = recorder.Queued();
    }
    EXPECT_EQ(queued[0], queued[1]);
    ASSERT_EQ(queued[1].size(), 4u) << "10:00:00, twice 10:00:03, then 10:00:05";
    EXPECT_NE(queued[1][3].find(kMonthDays), std::wstring::npos);
}

TEST_F(EngineCaches, ADocumentChangedInTheFileOrThroughTheTaskGivesItsNewRun) {
    engine.WriteTask(kDaily, DailyAt(L"daily", L"10:00:00"));
    engine.Configure();
    CheckTasks();
    const DATE ten = NextRunInList(kDaily);
    ASSERT_EQ(CompareDates(ten, FreshNextRun(kDaily, ten - 0.01)), 0);

    Rewrite(kDaily, DailyAt(L"daily", L"11:00:00"));
    CheckTasks();
    EXPECT_EQ(CompareDates(NextRunInList(kDaily), ten), 0) << "the file is not read by a cycle";
    engine->UpdateTaskList();
    CheckTasks();
    EXPECT_EQ(CompareDates(NextRunInList(kDaily), ten + 1.0 / 24), 0);

    const CountedPtr<CZynTaskListElement> element = Element(kDaily);
    ASSERT_EQ(element->Task->put_Xml(CBstr(DailyAt(L"daily", L"09:30:00")).Get()), S_OK);
    CheckTasks();
    EXPECT_EQ(CompareDates(NextRunInList(kDaily), ten - 0.5 / 24), 0);
}

TEST_F(EngineCaches, ARefreshReloadsOnlyTheFilesThatChanged) {
    engine.WriteTask(kDaily, DailyAt(L"daily", L"10:00:00"));
    engine.WriteTask(kOnce, OnceTask(L"once", L"2030-01-03 12:00:00"));
    engine.Configure();
    engine->UpdateTaskList();  // the first look at the files the load found
    const CountedPtr<CZynTaskListElement> daily = Element(kDaily);
    const CountedPtr<CZynTaskListElement> once = Element(kOnce);
    ASSERT_TRUE(daily && daily->Schedule && once && once->Schedule);
    const std::uint64_t dailyBefore = daily->Schedule->ScheduleRevision();
    const std::uint64_t onceBefore = once->Schedule->ScheduleRevision();

    Rewrite(kOnce, OnceTask(L"once", L"2030-01-04 12:00:00"));
    engine->UpdateTaskList();
    EXPECT_EQ(daily->Schedule->ScheduleRevision(), dailyBefore) << "an unchanged file is kept";
    EXPECT_NE(once->Schedule->ScheduleRevision(), onceBefore) << "a changed file is reloaded";

    // Permissions change the file's version too: the file is looked at again, and loads.
    ScopedLock lock(engine->MainLock());
    const std::uint64_t onceAfter = once->Schedule->ScheduleRevision();
    std::filesystem::permissions(WideToUtf8(JoinPath(engine.WorkFolder(), kOnce) + L".xml"),
                                 std::filesystem::perms(0600));
    engine->UpdateTaskList();
    EXPECT_NE(once->Schedule->ScheduleRevision(), onceAfter);
    EXPECT_EQ(ListCount(*engine), 2u);
}

TEST_F(EngineCaches, AnInvalidDocumentIsStillSetAsideByTheScanAfterTheOneThatFoundIt) {
    engine.Configure();
    LogCapture log;
    for (const bool wholeFolder : {true, false}) {
        SCOPED_TRACE(wholeFolder ? "reading the whole folder" : "looking at the changed files");
        const auto refresh = [&] {
            return wholeFolder ? engine->UpdateTaskList() : engine->UpdateTaskListFromChanges();
        };
        log.Clear();
        engine.WriteTask(kDaily, L"<Schedule Name='broken'><Task>");
        refresh();
        EXPECT_EQ(ListCount(*engine), 1u);
        refresh();
        EXPECT_EQ(ListCount(*engine), 0u);
        EXPECT_EQ(log.Matching(L"Invalid task was deleted. File: '").size(), 1u);
        RemoveDirectoryTree(JoinPath(engine.WorkFolder(), L"Invalid"), true, false);
    }
}

TEST_F(EngineCaches, NameLookupsFollowTheFilesAsTheyAreNow) {
    engine.WriteTask(kDaily, DailyAt(L"alpha", L"10:00:00"));
    engine.WriteTask(kOnce, OnceTask(L"beta", L"2030-01-03 12:00:00"));
    engine.Configure();
    EXPECT_TRUE(NameTaken(L"alpha", kOnce));
    EXPECT_TRUE(NameTaken(L"beta", kDaily));
    EXPECT_FALSE(NameTaken(L"alpha", kDaily)) << "a task's own name";

    Rewrite(kDaily, DailyAt(L"gamma", L"10:00:00"));  // renamed, no refresh yet
    EXPECT_FALSE(NameTaken(L"alpha", kOnce));
    EXPECT_TRUE(NameTaken(L"gamma", kOnce));

    // Moved over by another file: the name is the new file's.
    const std::wstring spare = JoinPath(engine.WorkFolder(), L"spare");
    WriteBytes(spare, WideToUtf8(OnceTask(L"delta", L"2030-01-05 12:00:00")));
    std::filesystem::rename(WideToUtf8(spare),
                            WideToUtf8(JoinPath(engine.WorkFolder(), kDaily) + L".xml"));
    EXPECT_FALSE(NameTaken(L"gamma", kOnce));
    EXPECT_TRUE(NameTaken(L"delta", kOnce));

    // A name no longer readable: the file goes aside as before, and the lookup finds nothing.
    Rewrite(kDaily, L"<Schedule Name='delta'>");
    LogCapture log;
    EXPECT_FALSE(NameTaken(L"delta", kOnce));
    EXPECT_EQ(log.Matching(L"Invalid task was deleted. File: '").size(), 1u);
    EXPECT_FALSE(FileExists(JoinPath(engine.WorkFolder(), kDaily) + L".xml"));
    EXPECT_TRUE(NameTaken(L"beta", kDaily));
}

// Every task of a list, by identity, with its document as the task reports it.
std::map<std::wstring, std::wstring> Documents(CZynTaskSchedulerThread& engine) {
    ScopedLock lock(engine.MainLock());
    std::map<std::wstring, std::wstring> documents;
    for (ULONG i = 0; const auto element = engine.TaskList()->GetTask(i); ++i) {
        CBstr xml;
        element->Task->get_Xml(xml.Receive());
        documents[element->Identity] = xml.View();
    }
    return documents;
}

// Engine A follows the folder through its watch, looking only at the files named as changed;
// engine B, on the same folder without its lock, reads the whole folder every time. Whatever
// happens to the files, both end with the same tasks and documents.
TEST_F(EngineCaches, ARefreshOfTheChangedFilesEndsWhereAReadOfTheWholeFolderEnds) {
    LogCapture log;  // refusals and invalid documents are logged on the way
    for (int i = 0; i < 4; ++i) {
        engine.WriteTask(kSchedules[i].first, TaskDocument(L"t", kSchedules[i].second));
    }
    engine.Configure();
    TestEngine whole;
    whole->SetConfiguration(L"<TaskScheduler WorkFolder='" + engine.WorkFolder() + L"'/>");
    ASSERT_FALSE(whole->HasWorkFolderLock());
    const auto path = [&](const wchar_t* identity) {
        return WideToUtf8(JoinPath(engine.WorkFolder(), identity) + L".xml");
    };
    std::mt19937 random(11);
    const auto anyTask = [&] {
        return kSchedules[std::uniform_int_distribution<std::size_t>(0, 6)(random)].first;
    };
    const auto writeReadable = [&](const std::wstring& file, const std::wstring& document) {
        WriteBytes(file, WideToUtf8(document));
        std::filesystem::permissions(WideToUtf8(file), std::filesystem::perms(0644));
    };
    std::error_code ignored;
    for (int round = 0; round < 60; ++round) {
        switch (std::uniform_int_distribution<int>(0, 7)(random)) {
            case 0:
                Rewrite(anyTask(), DailyAt(L"new", L"10:00:0" + std::to_wstring(random() % 10)));
                break;
            case 1:
                std::filesystem::remove(path(anyTask()));
                break;
            case 2:
                std::filesystem::permissions(
                    path(anyTask()), std::filesystem::perms(random() % 2 == 0 ? 0664 : 0644),
                    ignored);
                break;
            case 3:
                Rewrite(anyTask(), L"<Schedule Name='broken'>");
                break;
            case 4:
                std::filesystem::rename(path(anyTask()), path(anyTask()), ignored);
                break;
            case 5:
                WriteBytes(JoinPath(engine.WorkFolder(), L"notes.txt"), std::to_string(random()));
                break;
            case 6:  // no task file: its extension is not ".xml" to the letter
                writeReadable(JoinPath(engine.WorkFolder(), anyTask()) + L".XML",
                              DailyAt(L"upper", L"10:00:00"));
                break;
            default:  // a task file not named by an identity, for a while
                if (random() % 2 == 0) {
                    writeReadable(JoinPath(engine.WorkFolder(), L"notes.xml"),
                                  DailyAt(L"notes", L"10:00:00"));
                } else {
                    std::filesystem::remove(
                        WideToUtf8(JoinPath(engine.WorkFolder(), L"notes.xml")));
                }
        }
        // Twice: a document that does not load goes aside at the second look, by either engine.
        for (int look = 0; look < 2; ++look) {
            ASSERT_EQ(engine->UpdateTaskListFromChanges(), S_OK);
            ASSERT_EQ(whole->UpdateTaskList(), S_OK);
        }
        ASSERT_EQ(engine->UpdateTaskListFromChanges(), S_OK);
        SCOPED_TRACE(testing::Message() << "round " << round);
        ASSERT_EQ(Documents(*engine), Documents(*whole));
    }
}

}  // namespace
