// Daemons racing for one work folder: the holder stops (SIGTERM) or dies (SIGKILL) while three
// others start on its folder. Afterwards exactly one of them runs the folder and holds its lock,
// and each of the others was refused naming that holder. Each trial runs the real programs in
// a sandbox of its own; ZYN_RACE_TRIALS sets the number of trials of each kind (a few by
// default, so that the suite stays short).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "apps/ProductSandbox.h"
#include "platform/WideText.h"
#include "platform/WorkFolderLock.h"

namespace {

constexpr int kClaimants = 3;
constexpr int kSettleSeconds = 60;  // only a hang takes this long

bool HasEnded(const ChildProcess& process) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(process.Pid()), &info, WEXITED | WNOHANG | WNOWAIT) ==
               0 &&
           info.si_pid != 0;
}

std::string Name(int claimant) {
    return "claimant" + std::to_string(claimant);
}

struct RaceRow {
    const char* what;
    int signal;
};

// (Names the row in the test's name, which would otherwise show the row's bytes.)
void PrintTo(const RaceRow& row, std::ostream* stream) {
    *stream << row.what;
}

class WorkFolderRace : public testing::TestWithParam<RaceRow> {};

TEST_P(WorkFolderRace, ExactlyOneClaimantHoldsTheFolderAndTheOthersNameIt) {
    const int trials = RaceTrials();
    int twoOrMore = 0;
    int none = 0;
    for (int trial = 0; trial < trials; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        ProductSandbox sandbox;
        auto holder = sandbox.StartDaemon({}, "holder");
        ASSERT_TRUE(sandbox.WaitUntilRunning("holder")) << sandbox.DaemonErrors("holder");
        holder->Kill(GetParam().signal);
        std::vector<std::unique_ptr<ChildProcess>> claimants;
        for (int claimant = 0; claimant < kClaimants; ++claimant) {
            claimants.push_back(sandbox.StartDaemon({}, Name(claimant)));
        }
        holder->Wait();
        ASSERT_TRUE(WaitUntil(
            [&] {
                for (int claimant = 0; claimant < kClaimants; ++claimant) {
                    if (!HasEnded(*claimants[claimant]) && !sandbox.SaysRunning(Name(claimant))) {
                        return false;
                    }
                }
                return true;
            },
            kSettleSeconds));
        std::vector<int> running;
        for (int claimant = 0; claimant < kClaimants; ++claimant) {
            if (!HasEnded(*claimants[claimant])) {
                running.push_back(claimant);
            }
        }
        twoOrMore += running.size() > 1 ? 1 : 0;
        none += running.empty() ? 1 : 0;
        if (running.size() != 1) {
            continue;
        }
        const ChildProcess& winner = *claimants[running[0]];
        const WorkFolderLock::HolderInfo lock =
            WorkFolderLock::Holder(Utf8ToWideLossy(sandbox.LockFile()));
        EXPECT_EQ(lock.processId, static_cast<DWORD>(winner.Pid()));
        const std::string named =
            "the scheduler in process " + std::to_string(winner.Pid()) + " holds the work folder";
        for (int claimant = 0; claimant < kClaimants; ++claimant) {
            if (claimant != running[0]) {
                EXPECT_NE(claimants[claimant]->Wait(), 0);
                EXPECT_NE(sandbox.DaemonErrors(Name(claimant)).find(named), std::string::npos)
                    << sandbox.DaemonErrors(Name(claimant));
            }
        }
        claimants[running[0]]->Kill(SIGTERM);
        EXPECT_EQ(claimants[running[0]]->Wait(), 0);
    }
    EXPECT_EQ(twoOrMore, 0) << "of " << trials << " trials";
    EXPECT_EQ(none, 0) << "of " << trials << " trials";
}

INSTANTIATE_TEST_SUITE_P(HolderLeaves, WorkFolderRace,
                         testing::Values(RaceRow{"HolderStops", SIGTERM},
                                         RaceRow{"HolderIsKilled", SIGKILL}),
                         [](const testing::TestParamInfo<RaceRow>& row) {
                             return std::string(row.param.what);
                         });

}  // namespace
