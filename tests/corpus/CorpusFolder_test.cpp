// The whole bad-input corpus in one engine's work folder beside two valid tasks: every document
// that does not load leaves the folder for its Invalid subfolder with the documented warning,
// the accepted ones stay listed, and the valid tasks are still scheduled and queued on time.
#include <gtest/gtest.h>

#include "corpus/CorpusManifest.h"
#include "engine/EngineTestSupport.h"
#include "platform/Path.h"
#include "platform/WideText.h"
#include "support/Folders.h"
#include "support/LogCapture.h"
#include "support/ScopedLock.h"

namespace {

constexpr wchar_t kValidA[] = L"{A0000000-0000-4000-8000-00000000000A}";
constexpr wchar_t kValidB[] = L"{B0000000-0000-4000-8000-00000000000B}";

// The identity a corpus document gets in the work folder, from its position in the manifest.
std::wstring IdentityOf(std::size_t position) {
    return FormatText(40, L"{C0000000-0000-4000-8000-%012zX}", position);
}

class CorpusFolder : public testing::Test {
protected:
    CorpusFolder() : clock(LocalMoment(2029, 6, 1, 7, 59, 30)) {}

    // Writes every corpus document and the two valid tasks; the number of accepted documents.
    std::size_t FillWorkFolder() {
        std::size_t accepted = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            engine.WriteTaskBytes(IdentityOf(i), ReadBytes(CorpusDocumentPath(entries[i])));
            accepted += entries[i].outcome == CorpusOutcome::Accepted ? 1 : 0;
        }
        engine.WriteTask(kValidA, OnceTask(L"ValidA", L"2029-06-01 08:00:00"));
        engine.WriteTask(kValidB, OnceTask(L"ValidB", L"2029-06-01 08:00:00"));
        return accepted;
    }

    LogCapture log;  // outlives the engine, whose thread logs until it ends
    TestClock clock;
    TestEngine engine;
    const std::vector<CorpusEntry> entries = ReadCorpusManifest();
};

TEST_F(CorpusFolder, InvalidDocumentsAreSetAsideAndTheRestIsScheduled) {
    const std::size_t accepted = FillWorkFolder();
    engine.Configure();
    engine->UpdateTaskList();  // what did not load on the first scan is set aside by the next
    EXPECT_EQ(ListCount(*engine), accepted + 2);

    const std::wstring invalidFolder = JoinPath(engine.WorkFolder(), L"Invalid");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(entries[i].file + " expected " + OutcomeName(entries[i].outcome));
        const std::wstring name = IdentityOf(i) + L".xml";
        const std::wstring path = JoinPath(engine.WorkFolder(), name);
        const bool setAside = entries[i].outcome != CorpusOutcome::Accepted;
        EXPECT_EQ(FileExists(path), !setAside);
        EXPECT_EQ(FileExists(JoinPath(invalidFolder, name)), setAside);
        EXPECT_EQ(log.Matching(L"Invalid task was deleted. File: '" + path + L"'").size(),
                  setAside ? 1u : 0u);
    }

    ScopedLock lock(engine->MainLock());
    engine->CheckTasks();
    clock.Set(LocalMoment(2029, 6, 1, 8, 0, 0));
    engine->ExecuteDueTasks();
    EXPECT_EQ(log.Matching(std::wstring(L"Queueing task ") + kValidA).size(), 1u);
    EXPECT_EQ(log.Matching(std::wstring(L"Queueing task ") + kValidB).size(), 1u);
}

}  // namespace
