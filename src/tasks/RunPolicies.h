// A task's run policies: what happens to a run that goes on too long, to runs missed while
// nothing could run them, and to a run that comes due while the last one still runs. They come
// from an optional element of the task document; without it, or without one of its children,
// the task behaves as tasks always did:
//
//   <RunPolicy>
//     <TimeLimit>90</TimeLimit>                       minutes a run may take; then it is ended
//     <MissedRuns Horizon="1440">once</MissedRuns>     none (default) or once, within minutes
//     <Overlap>queue</Overlap>                         skip (default), queue or replace
//   </RunPolicy>
//
// Values only; thread-safe. Read raises E_FAIL (CEThrowError) with a message naming what is
// wrong when the element is there but does not read: a policy mistyped must not pass for none.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/XmlDocument.h"

struct RunPolicies {
    enum class MissedRuns { None, Once };
    enum class Overlap { Skip, Queue, Replace };

    // The longest policy minutes may say: a year.
    static constexpr DWORD kMaximumMinutes = 525600;

    std::optional<DWORD> timeLimitMinutes;
    MissedRuns missedRuns = MissedRuns::None;
    DWORD missedRunsHorizonMinutes = 0;  // set with MissedRuns::Once
    Overlap overlap = Overlap::Skip;

    // The policies of a task document.
    static RunPolicies Read(const XmlDocument& document);
    // One line per policy the document sets, as "zyntask check" and "describe" show them.
    std::vector<std::wstring> Describe() const;
};

// "1 minute", "90 minutes".
std::wstring MinutesText(DWORD minutes);
