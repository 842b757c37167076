#include <gtest/gtest.h>

#include <clocale>

#include "support/ChildProcess.h"
#include "support/FileRetry.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    // Nothing a test waits on is held by another process for real; no second-long pauses.
    FileRetry::SetPause(std::chrono::milliseconds(1));
    int exitCode = 0;
    if (RunChildRoleIfRequested(argc, argv, exitCode)) {
        return exitCode;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
