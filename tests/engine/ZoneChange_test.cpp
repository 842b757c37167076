// The preview and the scheduler agree through the changes of real zones. Random tasks, their
// times of day drawn mostly from the hours the zones' clocks skip or repeat, are played by an
// engine on a test clock through the months of both changes of a zone (an hour's change, a
// half hour's, changes at midnight), the clock stepped to each wait's end or to a random moment
// before it. Every run the engine queues must be one the task's preview (IZynTaskRuns, as
// `zyntask next` asks it) lists, at its moment, and every run listed must be queued, once.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "automation/ZynTask.h"
#include "engine/EngineTestSupport.h"
#include "platform/WideText.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"
#include "support/ScopedZone.h"

namespace {

constexpr int kTasks = 20;
constexpr std::int64_t kLateness = 5 * kMicrosecondsPerSecond;

// A stretch of months holding a change of the zone's offset.
struct Stretch {
    int firstMonth;
    int lastMonth;  // through its end
};

struct ZoneCase {
    const char* zone;
    Stretch spring;
    Stretch autumn;
};

class RandomTasks {
public:
    explicit RandomTasks(unsigned seed) : m_random(seed) {}

    int Between(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    }

    std::wstring Trigger() {
        const int type = Between(0, 4);
        std::wstring trigger = FormatText(32, L"<Trigger Type=\"%d\"", type);
        if (Between(0, 1) == 1) {
            const int interval = Between(0, 1) == 1 ? Between(10, 120) : 15 * Between(1, 4);
            // Some windows longer than a day, so that one is still open when the next opens.
            const int longest = interval >= 60 && Between(0, 2) == 0 ? 2000 : 300;
            const int duration = Between(0, 3) == 0 ? 0 : Between(interval, longest);
            trigger += FormatText(64, L" Interval=\"%d\" Duration=\"%d\"", interval, duration);
        }
        const int month = type == 0 ? Between(3, 11) : 1;
        const int day = type == 0 ? Between(1, 28) : Between(1, 9);
        // Mostly the hours around midnight and from 0 to 4, where the zones' clocks change.
        const int hour = Between(0, 2) == 0 ? Between(0, 23) : (Between(0, 6) + 22) % 24;
        const int minute = Between(0, 3) == 0 ? Between(0, 59) : 15 * Between(0, 3);
        trigger += FormatText(64, L"><BeginDate>2027-%02d-%02d %02d:%02d:00</BeginDate>", month,
                              day, hour, minute);
        const int first = Between(1, 127);
        const int second = Between(0, 30);
        switch (type) {
            case 1:
                return trigger +
                       FormatText(64, L"<DaysInterval>%d</DaysInterval></Trigger>", first % 3 + 1);
            case 2:
                return trigger + FormatText(64, L"<DaysOfWeek>%d</DaysOfWeek></Trigger>", first);
            case 3:
                return trigger + FormatText(64, L"<DaysOfMonth>%u</DaysOfMonth></Trigger>",
                                            (1u << first % 31) | (1u << second));
            case 4:
                return trigger + FormatText(64,
                                            L"<Week>%d</Week><DaysOfWeek>%d</DaysOfWeek>"
                                            L"</Trigger>",
                                            second % 5 + 1, first);
            default:
                return trigger + L"</Trigger>";
        }
    }

private:
    std::mt19937 m_random;
};

RealTime MicrosecondsOf(WallClock::TimePoint moment) {
    return std::chrono::duration_cast<std::chrono::microseconds>(moment.time_since_epoch()).count();
}

class ZoneChange : public testing::TestWithParam<ZoneCase> {
protected:
    ZoneChange() : zone(GetParam().zone), clock(LocalMoment(2027, 1, 1, 0, 0, 0)) {}

    std::wstring Identity(int index) const {
        wchar_t text[40] = {};
        std::swprintf(text, 40, L"{88888888-8888-4888-8888-%012d}", index);
        return text;
    }

    // The runs the task's preview lists after `after` up to `end`.
    std::vector<RealTime> Preview(const std::wstring& identity, RealTime after, RealTime end) {
        const ComPtr<IZynTask> task = MakeZynTask(CountedPtr<CZynTaskSchedulerThread>(&*engine), 0);
        EXPECT_EQ(task->put_Guid(CBstr(identity).Get()), S_OK);
        ComPtr<IZynTaskRuns> runs;
        EXPECT_EQ(task->QueryInterface(IID_IZynTaskRuns, reinterpret_cast<void**>(runs.Receive())),
                  S_OK);
        std::vector<RealTime> listed;
        for (std::int64_t at = after;;) {
            DATE local = 0;
            LONG offset = 0;
            DATE skipped = 0;
            EXPECT_EQ(runs->GetRunAfter(at, &at, &local, &offset, &skipped), S_OK);
            if (at == 0 || at > end) {
                return listed;
            }
            listed.push_back(at);
        }
    }

    // Plays the engine from now to `end`; the moments each task's runs were queued at.
    void Play(RealTime end, std::mt19937& random,
              std::map<std::wstring, std::vector<RealTime>>& queued) {
        while (MicrosecondsOf(clock.Now()) < end) {
            DWORD wait = 0;
            {
                ScopedLock lock(engine->MainLock());
                wait = engine->CheckTasks();
            }
            RealTime next =
                wait == INFINITE ? end : MicrosecondsOf(clock.Now()) + RealTime{wait} * 1000;
            if (wait > 2 && std::uniform_int_distribution<int>(0, 1)(random) == 0) {
                next = MicrosecondsOf(clock.Now()) + std::uniform_int_distribution<RealTime>(
                                                         1, RealTime{wait} * 1000 - 1)(random);
            }
            clock.Set(WallClock::TimePoint(std::chrono::microseconds(std::min(next, end))));
            engine->ExecuteDueTasks();
            std::wstring identity;
            std::wstring xml;
            while (engine->QueueLength() > 0 && engine->ProcessNextEvent(-1, identity, xml)) {
                queued[identity].push_back(MicrosecondsOf(clock.Now()));
            }
        }
    }

    void ExpectQueuedAsListed(const Stretch& stretch, std::mt19937& random) {
        const int year = 2027;
        clock.Set(LocalMoment(year, stretch.firstMonth, 1, 0, 0, 0));
        const RealTime start = MicrosecondsOf(clock.Now());
        const int endMonth = stretch.lastMonth + 1;
        const RealTime end =
            MicrosecondsOf(LocalMoment(year + endMonth / 13, (endMonth - 1) % 12 + 1, 1, 0, 0, 0));
        std::map<std::wstring, std::vector<RealTime>> queued;
        Play(end, random, queued);
        for (int index = 0; index < kTasks; ++index) {
            const std::wstring identity = Identity(index);
            SCOPED_TRACE(WideToUtf8(identity) + " " + WideToUtf8(documents[index]));
            // After the clock moved on by months, runs up to the lateness a run may have are
            // still made.
            const std::vector<RealTime> listed = Preview(identity, start - kLateness, end);
            const std::vector<RealTime>& made = queued[identity];
            ASSERT_EQ(made.size(), listed.size());
            for (std::size_t i = 0; i < made.size(); ++i) {
                EXPECT_GE(made[i], listed[i]) << "run " << i;
                EXPECT_LE(made[i], listed[i] + kLateness) << "run " << i;
            }
        }
    }

    ScopedZone zone;
    LogCapture log;  // outlives the engine
    TestClock clock;
    TestEngine engine;
    std::vector<std::wstring> documents;
};

TEST_P(ZoneChange, TheEngineQueuesExactlyTheRunsThePreviewLists) {
    std::mt19937 random(20270314);
    RandomTasks tasks(std::hash<std::string>{}(GetParam().zone));
    for (int index = 0; index < kTasks; ++index) {
        documents.push_back(tasks.Trigger() + (tasks.Between(0, 2) == 0 ? tasks.Trigger() : L""));
        engine.WriteTask(Identity(index),
                         TaskDocument(L"Task " + std::to_wstring(index), documents.back()));
    }
    engine.Configure(L"MaxExecQueueSize='100'");
    ASSERT_EQ(ListCount(*engine), static_cast<ULONG>(kTasks));
    engine->ExecuteDueTasks();  // the first look, from which on runs are looked for
    ExpectQueuedAsListed(GetParam().spring, random);
    ExpectQueuedAsListed(GetParam().autumn, random);
    EXPECT_TRUE(log.Matching(L"failed").empty());
}

INSTANTIATE_TEST_SUITE_P(Zones, ZoneChange,
                         testing::Values(ZoneCase{"America/New_York", {3, 3}, {11, 11}},
                                         ZoneCase{"Australia/Lord_Howe", {4, 4}, {10, 10}},
                                         ZoneCase{"America/Havana", {3, 3}, {11, 11}},
                                         ZoneCase{"America/Santiago", {4, 4}, {9, 9}}),
                         [](const testing::TestParamInfo<ZoneCase>& info) {
                             std::string name = info.param.zone;
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); },
                                 '_');
                             return name;
                         });

}  // namespace
