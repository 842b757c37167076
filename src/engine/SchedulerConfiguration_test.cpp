#include "engine/SchedulerConfiguration.h"

#include <gtest/gtest.h>

#include "platform/ComError.h"
#include "platform/WideText.h"

namespace {

struct ConfigurationRow {
    const wchar_t* document;
    DWORD pool;
    std::optional<DWORD> queue;
    std::optional<DWORD> workingSet;
    bool logging;
};

TEST(SchedulerConfiguration, ReadsNumbersWithTheirDefaults) {
    const ConfigurationRow rows[] = {
        {L"<TaskScheduler WorkFolder='/w'/>", 5, std::nullopt, std::nullopt, false},
        {L"<TaskScheduler WorkFolder='/w' WorkerThreadPoolSize='3' MaxExecQueueSize='7' "
         L"MaxWorkingSetSize='4096' LoggingEnabled='2'/>",
         3, 7, 4096, true},
        {L"<TaskScheduler WorkFolder='/w' WorkerThreadPoolSize='0' MaxExecQueueSize='0' "
         L"MaxWorkingSetSize='0' LoggingEnabled='0'/>",
         5, 50, 0, false},
        {L"<TaskScheduler WorkFolder='/w' WorkerThreadPoolSize='-4' MaxExecQueueSize='-1' "
         L"MaxWorkingSetSize='-1' LoggingEnabled='-1'/>",
         5, 50, 0, true},
        // Beyond 32 bits the numbers are clamped, not cut to their low 32 bits (which would
        // leave no processor and a queue that takes nothing).
        {L"<TaskScheduler WorkFolder='/w' WorkerThreadPoolSize='4294967296' "
         L"MaxExecQueueSize='4294967296' MaxWorkingSetSize='-4294967296' "
         L"LoggingEnabled='4294967296'/>",
         2147483647, 2147483647, 0, true},
        {L"<Config><TaskScheduler WorkFolder='/w' WorkerThreadPoolSize=' 8 threads' "
         L"MaxExecQueueSize='abc' LoggingEnabled='true'/></Config>",
         8, 50, std::nullopt, false},
    };
    for (const ConfigurationRow& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.document));
        const std::optional<SchedulerConfiguration> read = ReadSchedulerConfiguration(row.document);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->workFolder, L"/w");
        EXPECT_EQ(read->workerThreadPoolSize, row.pool);
        EXPECT_EQ(read->maxExecQueueSize, row.queue);
        EXPECT_EQ(read->maxWorkingSetSize, row.workingSet);
        EXPECT_EQ(read->loggingEnabled, row.logging);
    }
}

TEST(SchedulerConfiguration, RefusesWhatCannotBeApplied) {
    EXPECT_FALSE(ReadSchedulerConfiguration(L"<Other WorkFolder='/w'/>").has_value());
    const std::pair<const wchar_t*, const wchar_t*> refused[] = {
        {L"<TaskScheduler", L"Failed to load task scheduler config into XMLDOM. Error "},
        {L"<TaskScheduler MaxExecQueueSize='1'/>",
         L"Failed to set task scheduler config. WorkFolder node not found"},
    };
    for (const auto& [document, message] : refused) {
        SCOPED_TRACE(WideToUtf8(document));
        try {
            ReadSchedulerConfiguration(document);
            ADD_FAILURE() << "accepted";
        } catch (const ComError& error) {
            EXPECT_EQ(error.Error(), E_FAIL);
            EXPECT_NE(error.Description().find(message), std::wstring::npos);
        }
    }
}

}  // namespace
