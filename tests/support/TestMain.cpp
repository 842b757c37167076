#include <gtest/gtest.h>

#include <stdlib.h>

#include <clocale>

#include "support/ChildProcess.h"
#include "support/FileRetry.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    // Nothing a test waits on is held by another process for real; no second-long pauses.
    FileRetry::SetPause(std::chrono::milliseconds(1));
    int exitCode = 0;
    if (RunChildRoleIfRequested(argc, argv, exitCode)) {
        return exitCode;  // a child keeps the registry root its parent test gave it
    }
    // No test may reach the machine's own settings: until a test names a temporary registry
    // root (TempRegistry), the registry points where nothing can be made.
    ::setenv("ZYN_REGISTRY", "/proc/zyn-tests-have-no-registry", 1);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
