// The main of every test program. Before any test runs, records go to a sink that prints to
// standard error, and the registry points where nothing can be made, so that no test reads or
// writes the machine's settings or its agent log unless it asks to (TempRegistry, CAgentLog).
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

#include "platform/ProcessInfo.h"
#include "platform/WideText.h"
#include "support/ChildRole.h"
#include "support/FileRetry.h"
#include "support/LogSink.h"

namespace {

class StandardErrorSink final : public LogSink {
public:
    void Write(DWORD severity, const wchar_t* source, const wchar_t* message) override {
        const std::string line = WideToUtf8(FormatText(8192, L"[log %u] %ls: %ls\n", severity,
                                                       source == nullptr ? L"" : source, message));
        std::fputs(line.c_str(), stderr);
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    static StandardErrorSink sink;
    LogSink::Install(&sink);
    // Nothing a test waits on is held by another process for real; no second-long pauses.
    FileRetry::SetPause(std::chrono::milliseconds(1));
    int exitCode = 0;
    if (RunChildRoleIfRequested(argc, argv, exitCode)) {
        return exitCode;  // a child keeps the registry root its parent test gave it
    }
    SetEnvironmentText("ZYN_REGISTRY", L"/proc/zyn-tests-have-no-registry");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
