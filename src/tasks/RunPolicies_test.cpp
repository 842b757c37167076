#include "tasks/RunPolicies.h"

#include <gtest/gtest.h>

#include "platform/ComError.h"
#include "platform/WideText.h"

namespace {

RunPolicies Read(const std::wstring& policy) {
    XmlDocument document;
    std::wstring reason;
    EXPECT_TRUE(document.Load(L"<Schedule Name='a'><Task/>" + policy + L"</Schedule>", reason));
    return RunPolicies::Read(document);
}

TEST(RunPoliciesTest, ReadsWhatTheDocumentSets) {
    struct Row {
        const wchar_t* policy;
        std::vector<std::wstring> described;
    };
    const Row rows[] = {
        {L"", {}},
        {L"<RunPolicy/>", {}},
        {L"<RunPolicy><TimeLimit>1</TimeLimit></RunPolicy>",
         {L"time limit: 1 minute, then the run is ended"}},
        {L"<RunPolicy><MissedRuns Horizon='1440'>once</MissedRuns><Overlap>replace</Overlap>"
         L"</RunPolicy>",
         {L"missed runs: once, when at least one was missed in the last 1440 minutes",
          L"overlap: replace, a run due while the last one runs ends it"}},
        {L"<RunPolicy><MissedRuns>none</MissedRuns><Overlap>skip</Overlap></RunPolicy>", {}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Read(row.policy).Describe(), row.described) << WideToUtf8(row.policy);
    }
    const RunPolicies all = Read(
        L"<RunPolicy><TimeLimit> 90 </TimeLimit><MissedRuns Horizon='60'>once</MissedRuns>"
        L"<Overlap>queue</Overlap></RunPolicy>");
    EXPECT_EQ(all.timeLimitMinutes, 90u);
    EXPECT_EQ(all.missedRuns, RunPolicies::MissedRuns::Once);
    EXPECT_EQ(all.missedRunsHorizonMinutes, 60u);
    EXPECT_EQ(all.overlap, RunPolicies::Overlap::Queue);
}

TEST(RunPoliciesTest, RefusesWhatDoesNotRead) {
    struct Row {
        const wchar_t* policy;
        const wchar_t* message;
    };
    const Row rows[] = {
        {L"<RunPolicy><TimeLimit>0</TimeLimit></RunPolicy>", L"TimeLimit must be a number"},
        {L"<RunPolicy><TimeLimit>1h</TimeLimit></RunPolicy>", L"not \"1h\""},
        {L"<RunPolicy><TimeLimit>525601</TimeLimit></RunPolicy>", L"from 1 to 525600"},
        {L"<RunPolicy><MissedRuns>once</MissedRuns></RunPolicy>", L"needs a Horizon"},
        {L"<RunPolicy><MissedRuns Horizon='-5'>once</MissedRuns></RunPolicy>", L"Horizon must"},
        {L"<RunPolicy><MissedRuns>all</MissedRuns></RunPolicy>", L"one of none, once"},
        {L"<RunPolicy><Overlap>replase</Overlap></RunPolicy>", L"one of skip, queue, replace"},
        {L"<RunPolicy><Timelimit>5</Timelimit></RunPolicy>", L"unknown element Timelimit"},
        {L"<RunPolicy/><RunPolicy/>", L"one RunPolicy element at most"},
    };
    for (const Row& row : rows) {
        try {
            Read(row.policy);
            ADD_FAILURE() << "accepted " << WideToUtf8(row.policy);
        } catch (const ComError& error) {
            EXPECT_EQ(error.Error(), E_FAIL);
            EXPECT_NE(error.Description().find(row.message), std::wstring::npos)
                << WideToUtf8(error.Description());
        }
    }
}

}  // namespace
