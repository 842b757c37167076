// Every document of the bad-input corpus read by a task definition, as the engine reads a file
// of its work folder: refused with the documented message, not read at all, or accepted with
// exactly the documented warnings; an accepted one is then described and its next runs chained
// for a bounded number of steps, each strictly later than the one before.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "corpus/CorpusManifest.h"
#include "tasks/TaskTestSupport.h"
#include "tasks/TriggerDocument.h"
#include "tasks/ZynTaskImpl.h"

namespace {

constexpr int kChainSteps = 64;

// A line of the system's account list, which no document may ever pull in.
std::wstring AccountListLine() {
    std::ifstream in("/etc/passwd");
    std::string line;
    std::getline(in, line);
    return Utf8ToWideLossy(line);
}

// Not the task tests' DateText: this program also links the engine, whose DateText has the
// same signature.
std::string Moment(DATE date) {
    SYSTEMTIME time{};
    if (!VariantTimeToSystemTime(date, &time)) {
        return "date " + std::to_string(date);
    }
    return WideToUtf8(FormatText(32, L"%04d-%02d-%02d %02d:%02d:%02d", time.wYear, time.wMonth,
                                 time.wDay, time.wHour, time.wMinute, time.wSecond));
}

std::vector<std::wstring> Warnings(const LogCapture& log) {
    std::vector<std::wstring> warnings;
    for (const LogRecord& record : log.Records()) {
        if (record.severity == CE_SEVERITY_WARNING && record.source == kTaskImplLogSource) {
            warnings.push_back(record.message);
        }
    }
    return warnings;
}

// Each expected warning matches a logged one of its own, and nothing else was logged.
void ExpectWarnings(const LogCapture& log, const std::vector<std::wstring>& expected) {
    std::vector<std::wstring> logged = Warnings(log);
    EXPECT_EQ(logged.size(), expected.size());
    for (const std::wstring& fragment : expected) {
        const auto match = std::find_if(logged.begin(), logged.end(), [&](const auto& message) {
            return message.find(fragment) != std::wstring::npos;
        });
        if (match == logged.end()) {
            ADD_FAILURE() << "warning not logged: " << WideToUtf8(fragment);
            continue;
        }
        logged.erase(match);
    }
    for (const std::wstring& message : logged) {
        ADD_FAILURE() << "unexpected warning: " << WideToUtf8(message);
    }
}

// GetXml carries, trigger by trigger, the description the reading made.
void ExpectDescriptions(const CZynTaskImpl& task) {
    const XmlDocument written = LoadTaskDocument(task.GetXml());
    const std::vector<XmlNode> elements = TriggerElements(written);
    ASSERT_EQ(elements.size(), task.GetTriggers().size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const CZynTaskTrigger& trigger = *task.GetTriggers()[i];
        EXPECT_EQ(elements[i].Attribute(L"Description").Text(), trigger.Description);
        // Ignored triggers are the only ones without a description.
        EXPECT_EQ(trigger.Description.empty(), trigger.Type < 0) << "trigger " << i;
    }
}

void ExpectBoundedChain(CZynTaskImpl& task) {
    const ScopedZone utc("UTC0");
    const WallTimeline timeline;
    RealTime after = MomentOfDate(DateOf(L"2024-01-01 00:00"));
    for (int step = 0; step < kChainSteps; ++step) {
        ScheduledRun run;
        ASSERT_NO_THROW(run = task.CalculateTriggersNextRunTime(after, timeline));
        if (!run.IsRun()) {
            EXPECT_EQ(task.GetNextTriggerIndex(), -1);
            return;
        }
        const DATE next = RunDate(run);
        ASSERT_GT(run.at, after) << "step " << step << " after " << Moment(DateOfWallTime(after))
                                 << " gave " << Moment(next);
        const LONG index = task.GetNextTriggerIndex();
        ASSERT_EQ(index, run.trigger);
        EXPECT_EQ(CompareDates(task.GetTriggers()[index]->NextRunTime, next), 0);
        after = run.at;
    }
}

void ExpectAccepted(const CorpusEntry& entry, CZynTaskImpl& task, const LogCapture& log) {
    ExpectWarnings(log, entry.messages);
    if (entry.taskName) {
        EXPECT_EQ(WideToUtf8(task.GetTaskName()), WideToUtf8(*entry.taskName));
    }
    EXPECT_FALSE(task.GetXml().empty());
    ExpectDescriptions(task);
    ExpectBoundedChain(task);
}

void ExpectNothingLeaked(const CZynTaskImpl& task, const LogCapture& log,
                         const std::wstring& secret) {
    EXPECT_EQ(task.GetXml().find(secret), std::wstring::npos);
    EXPECT_EQ(task.GetTaskName().find(secret), std::wstring::npos);
    EXPECT_TRUE(log.Matching(secret).empty());
}

TEST(CorpusDocument, EachIsReadAsItsManifestSays) {
    const std::vector<CorpusEntry> entries = ReadCorpusManifest();
    ASSERT_GE(entries.size(), 100u);
    const std::wstring secret = AccountListLine();
    ASSERT_FALSE(secret.empty());
    for (const CorpusEntry& entry : entries) {
        SCOPED_TRACE(entry.file + " expected " + OutcomeName(entry.outcome));
        LogCapture log;
        auto task =
            MakeCounted<CZynTaskImpl>(CountedPtr<IZynTaskEngine>(MakeCounted<FakeEngine>()), 0);
        HRESULT loaded = E_UNEXPECTED;
        const Raised raised =
            RaisedBy([&] { loaded = task->LoadXmlFromFile(CorpusDocumentPath(entry)); });
        switch (entry.outcome) {
            case CorpusOutcome::Refused:
                EXPECT_EQ(raised.hr, entry.result);
                ASSERT_EQ(entry.messages.size(), 1u);
                EXPECT_NE(raised.description.find(entry.messages.front()), std::wstring::npos)
                    << WideToUtf8(raised.description);
                EXPECT_TRUE(task->GetXml().empty());
                EXPECT_TRUE(task->GetTriggers().empty());
                break;
            case CorpusOutcome::Unreadable:
                EXPECT_EQ(raised.hr, S_OK) << WideToUtf8(raised.description);
                EXPECT_EQ(loaded, entry.result);
                EXPECT_TRUE(task->GetXml().empty());
                break;
            case CorpusOutcome::Accepted:
                ASSERT_EQ(raised.hr, S_OK) << WideToUtf8(raised.description);
                ASSERT_EQ(loaded, S_OK);
                ExpectAccepted(entry, *task, log);
                break;
        }
        ExpectNothingLeaked(*task, log, secret);
    }
}

// An external entity's reference stays the text it is: written back escaped, never replaced by
// what it names.
TEST(CorpusDocument, ExternalEntityReferenceIsKeptAsText) {
    CorpusEntry entry;
    entry.file = "external-entity-in-command.xml";
    auto task = MakeCounted<CZynTaskImpl>(CountedPtr<IZynTaskEngine>(MakeCounted<FakeEngine>()), 0);
    ASSERT_EQ(task->LoadXmlFromFile(CorpusDocumentPath(entry)), S_OK);
    const XmlDocument written = LoadTaskDocument(task->GetXml());
    EXPECT_EQ(written.SelectSingle(L"//Parameters").Text(), L"&xxe;");
    EXPECT_NE(task->GetXml().find(L"<Parameters>&amp;xxe;</Parameters>"), std::wstring::npos);
}

}  // namespace
