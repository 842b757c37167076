#include "tasks/RunRecordFile.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "platform/FileSystem.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/Folders.h"
#include "support/TempFolder.h"

namespace {

using namespace std::chrono;

constexpr wchar_t kTask[] = L"{11111111-1111-4111-8111-111111111111}";

RunRecord Exited(DWORD exitCode) {
    RunRecord record;
    record.due = WallClock::TimePoint(sys_days{year{2026} / 12 / 6} + 2h);
    record.queued = *record.due + 1ms;
    record.started = *record.due + 3ms;
    record.ended = *record.due + 1500ms;
    record.outcome = RunOutcome::Exited;
    record.exitCode = exitCode;
    record.output = std::string("out\n\x00\x1b[0m\xff err\r\n", 16);  // kept byte for byte
    record.outputBytes = 123456;
    return record;
}

void ExpectSame(const RunRecord& read, const RunRecord& written) {
    EXPECT_EQ(read.due, written.due);
    EXPECT_EQ(read.queued, written.queued);
    EXPECT_EQ(read.started, written.started);
    EXPECT_EQ(read.ended, written.ended);
    EXPECT_EQ(read.reason, written.reason);
    EXPECT_EQ(read.outcome, written.outcome);
    EXPECT_EQ(read.exitCode, written.exitCode);
    EXPECT_EQ(read.signal, written.signal);
    EXPECT_EQ(read.skipped, written.skipped);
    EXPECT_EQ(read.detail, written.detail);
    EXPECT_EQ(read.output, written.output);
    EXPECT_EQ(read.outputBytes, written.outputBytes);
}

TEST(RunRecordFileTest, KeepsTheNewestRecordsWithEveryField) {
    TempFolder folder;
    RunRecordFile file(folder / L"Logs", kTask);
    EXPECT_TRUE(file.Read(10).empty());
    RunRecord skipped;
    skipped.reason = RunReason::CatchUp;
    skipped.skipped = SkipReason::ClockCorrected;
    skipped.detail = L"late by 2 h: the clock <was> \"set\" forward";
    std::vector<RunRecord> batch;
    // Literal counts, not the constant: the fifty newest are what the documentation promises.
    for (DWORD run = 0; run < 59; ++run) {
        batch.push_back(Exited(run));
        if (batch.size() == 20) {
            ASSERT_TRUE(file.Add(batch));
            batch.clear();
        }
    }
    batch.push_back(skipped);
    ASSERT_TRUE(file.Add(batch));

    const std::vector<RunRecord> kept = file.Read(100);
    ASSERT_EQ(kept.size(), 50u);
    ExpectSame(kept[0], skipped);
    ExpectSame(kept[1], Exited(58));  // newest first
    EXPECT_EQ(kept.back().exitCode, 10u);
    EXPECT_EQ(file.Read(2).size(), 2u);
    EXPECT_TRUE(file.Remove());
    EXPECT_FALSE(FileExists(file.Path()));
}

// Adds records with full output tails to the file in args[0] until it is killed.
ZYN_CHILD_ROLE(RunRecordWriter) {
    RunRecordFile file(Utf8ToWideLossy(args.at(0)), kTask);
    RunRecord record = Exited(0);
    record.output = std::string(16 * 1024, 'x');
    for (;;) {
        file.Add({&record, 1});
    }
}

TEST(RunRecordFileTest, AWriterKilledInTheMiddleLeavesAWholeList) {
    TempFolder folder;
    const std::wstring logs = folder / L"Logs";
    const RunRecordFile file(logs, kTask);
    std::mt19937 random(7);
    for (int trial = 0; trial < 10; ++trial) {
        ChildProcess writer("RunRecordWriter", {WideToUtf8(logs)});
        while (!FileExists(file.Path())) {
            std::this_thread::sleep_for(1ms);
        }
        std::this_thread::sleep_for(microseconds(random() % 20000));
        writer.Kill();
        writer.Wait();
        std::string bytes;
        ASSERT_EQ(ReadRegularFile(file.Path(), bytes, 8 << 20), ERROR_SUCCESS);
        XmlDocument document;
        std::wstring reason;
        ASSERT_TRUE(document.Load(Utf8ToWideLossy(bytes), reason)) << "trial " << trial;
        const std::size_t count = document.DocumentElement().ChildElements().size();
        EXPECT_GE(count, 1u);
        EXPECT_LE(count, kKeptRunRecords);
        EXPECT_EQ(file.Read(kKeptRunRecords).size(), count);
    }
}

}  // namespace
