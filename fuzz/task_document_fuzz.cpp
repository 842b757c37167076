// Task documents as a task definition reads them: parsed and checked, described, written back
// (what GetXml writes must read again with the same triggers), and their next runs chained for
// a bounded number of steps, each strictly later than the one before, since a next run that
// is not later than the last would have the scheduler run the task again at once, forever.
#include "ZynTaskSchedulerLib/Runtime.h"
#include "fuzz/FuzzSupport.h"
#include "platform/ComError.h"
#include "platform/WallTimeline.h"
#include "tasks/ZynTaskImpl.h"

namespace {

constexpr int kChainSteps = 16;
constexpr RealTime kFirstOf2024 = 1704067200LL * kMicrosecondsPerSecond;

// An engine without a work folder: nothing is written, no task log is kept.
class DetachedEngine final : public CCERefCountBase, public IZynTaskEngine {
public:
    ULONG AddRef() override { return CCERefCountBase::AddRef(); }
    ULONG Release() override { return CCERefCountBase::Release(); }
    std::wstring GetWorkFolder() override { return {}; }
    bool HasWorkFolderLock() override { return false; }
    bool IsLoggingEnabled() override { return false; }
};

CountedPtr<CZynTaskImpl> NewTask() {
    return MakeCounted<CZynTaskImpl>(CountedPtr<IZynTaskEngine>(MakeCounted<DetachedEngine>()), 0);
}

void ChainNextRuns(CZynTaskImpl& task, RealTime reference) {
    const WallTimeline timeline;
    for (int step = 0; step < kChainSteps; ++step) {
        const ScheduledRun next = task.CalculateTriggersNextRunTime(reference, timeline);
        if (!next.IsRun()) {
            FuzzCheck(task.GetNextTriggerIndex() == -1, "no next run, no next trigger");
            return;
        }
        FuzzCheck(next.at > reference, "the next run is later than the last");
        const LONG index = task.GetNextTriggerIndex();
        FuzzCheck(index >= 0 && static_cast<std::size_t>(index) < task.GetTriggers().size(),
                  "the next trigger is one of the task's");
        reference = next.at;
    }
}

// The day before the first trigger's begin, as the clock shows it; false when that leaves the
// calendar.
bool DayBeforeFirstBegin(const CZynTaskImpl& task, RealTime& moment) {
    WallTime wall = 0;
    if (task.GetTriggers().empty() ||
        !WallTimeOfDate(task.GetTriggers().front()->BeginDate - 1.0, wall)) {
        return false;
    }
    moment = WallTimeline().FirstShowing(wall);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PrepareFuzzProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const CountedPtr<CZynTaskImpl> task = NewTask();
    try {
        task->SetXml(FuzzText(data, size));
    } catch (const ComError&) {
        return 0;  // refused, with its message
    }
    const CountedPtr<CZynTaskImpl> reread = NewTask();
    try {
        reread->SetXml(task->GetXml());
    } catch (const ComError&) {
        FuzzCheck(false, "what GetXml writes reads again");
    }
    FuzzCheck(reread->GetTriggers().size() == task->GetTriggers().size(),
              "what GetXml writes has the same triggers");
    ChainNextRuns(*task, kFirstOf2024);
    if (RealTime beforeBegin = 0; DayBeforeFirstBegin(*task, beforeBegin)) {
        ChainNextRuns(*task, beforeBegin);
    }
    return 0;
}
