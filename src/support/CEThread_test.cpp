#include "support/CEThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "ZynTaskSchedulerLib/HResults.h"
#include "platform/LastError.h"
#include "platform/SystemMessage.h"
#include "platform/Wait.h"
#include "support/AtlSemaphore.h"
#include "support/LogCall.h"
#include "support/LogCapture.h"
#include "support/ThrowError.h"

namespace {

constexpr DWORD kHangGuardMs = 30000;
constexpr const wchar_t* kName = L"Scripted Thread";

using Step = std::function<HRESULT()>;
using Limits = std::pair<DWORD, DWORD>;

// A thread whose cycles the test runs one at a time: each cycle waits for a step (or the kill
// event) and returns what the step returns.
class ScriptedThread : public CCEThread {
public:
    explicit ScriptedThread(std::optional<Limits> limits = std::nullopt)
        : CCEThread(kName, THREAD_PRIORITY_NORMAL), m_limits(limits) {}
    ~ScriptedThread() override { Stop(); }

    // Resumes the thread and waits until it has reached its first cycle.
    void Start() {
        ResumeThread();
        AwaitCycleEnd();
    }
    // Runs `step` as the next cycle and waits until the cycle is over.
    void RunStep(Step step) {
        {
            std::lock_guard lock(m_mutex);
            m_step = std::move(step);
        }
        m_go.Unlock();
        AwaitCycleEnd();
    }
    // Makes the loop end after the current cycle, as only the owner's Stop does otherwise.
    void EndLoop() { StopEvent.Set(); }
    bool KillEventSet() { return KillEvent.Lock(0); }
    bool Started() const { return m_started; }
    int Cycles() const { return m_cycles; }

protected:
    HRESULT Process() override {
        if (WaitAny({&KillEvent.Handle(), &m_go.Handle()}, INFINITE) != WAIT_OBJECT_0 + 1) {
            return S_OK;
        }
        ++m_cycles;
        Step step;
        {
            std::lock_guard lock(m_mutex);
            step = std::exchange(m_step, nullptr);
        }
        return step();
    }
    DWORD WaitForNextCycle() override {
        m_started = true;
        m_cycleEnded.Unlock();
        return 0;
    }
    bool GetWorkingSetLimits(DWORD& minimum, DWORD& maximum) override {
        if (!m_limits) {
            return false;
        }
        std::tie(minimum, maximum) = *m_limits;
        return true;
    }

private:
    void AwaitCycleEnd() { ASSERT_TRUE(m_cycleEnded.Lock(kHangGuardMs)); }

    const std::optional<Limits> m_limits;
    CAtlSemaphore m_go{0, 100};
    CAtlSemaphore m_cycleEnded{0, 100};
    std::mutex m_mutex;
    Step m_step;
    std::atomic<int> m_cycles{0};
    std::atomic<bool> m_started{false};
};

std::vector<std::wstring> Messages(const LogCapture& log, DWORD severity) {
    std::vector<std::wstring> messages;
    for (const LogRecord& record : log.Records()) {
        if (record.severity == severity) {
            EXPECT_EQ(record.source, kName) << record.message;
            messages.push_back(record.message);
        }
    }
    return messages;
}

struct CycleRow {
    const char* what;
    Step step;
    std::optional<std::wstring> expectedError;  // none: nothing is reported
};

// The system's texts differ between systems (and Wine has its own): the rows take them from it.
const std::wstring kFailText = HResultText(E_FAIL);
const std::wstring kAccessDeniedText = HResultText(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
const std::wstring kNotFoundText = HResultText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));

const std::vector<CycleRow> kCycleRows = {
    {"returns S_OK", [] { return S_OK; }, std::nullopt},
    {"returns S_FALSE", [] { return S_FALSE; }, std::nullopt},
    {"returns E_FAIL", [] { return E_FAIL; },
     L"CEThread processing failed. Error=0x80004005: " + kFailText},
    {"returns a Win32 failure", [] { return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED); },
     L"CEThread processing failed. Error=0x80070005: " + kAccessDeniedText},
    {"returns a failure without text", [] { return MakeHResult(0x80041234); },
     L"CEThread processing failed. Error=0x80041234: (Error description is not available)"},
    {"throws a bare E_FAIL", []() -> HRESULT { throw E_FAIL; },
     L"Exception caught during CEThread processing. Error=0x80004005: " + kFailText},
    {"throws a COM error with a description",
     []() -> HRESULT { CEThrowError(E_POINTER, L"Cannot read the task."); },
     L"Exception caught during CEThread processing. Error=0x80004003: Cannot read the task. " +
         HResultText(E_POINTER)},
    {"throws a COM error without a record",
     []() -> HRESULT { throw ComError(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)); },
     L"Exception caught during CEThread processing. Error=0x80070002: " + kNotFoundText},
    {"throws a standard exception", []() -> HRESULT { throw std::runtime_error("disk on fire"); },
     L"Exception caught during CEThread processing: disk on fire"},
    {"throws something else", []() -> HRESULT { throw 2.5; },
     L"CEThread processing failed: Caught unknown exception!"},
};

TEST(CEThreadTest, EveryCycleOutcomeIsContainedAndReportedInItsForm) {
    LogCapture log;
    auto thread = MakeCounted<ScriptedThread>();
    thread->Start();
    for (const CycleRow& row : kCycleRows) {
        SCOPED_TRACE(row.what);
        log.Clear();
        thread->RunStep(row.step);
        const std::vector<std::wstring> errors = Messages(log, CE_SEVERITY_ERROR);
        if (!row.expectedError) {
            EXPECT_TRUE(log.Records().empty());
        } else {
            EXPECT_EQ(errors, std::vector<std::wstring>{*row.expectedError});
            EXPECT_EQ(log.Records().size(), 1u);
        }
    }
    EXPECT_EQ(thread->Cycles(), static_cast<int>(kCycleRows.size()));  // the thread lived on
}

TEST(CEThreadTest, WorkingSetBoundsAreAppliedAfterEachCycleAndTheirFailureReported) {
    LogCapture log;
    auto refused = MakeCounted<ScriptedThread>(Limits{1, 0});
    refused->Start();
    refused->RunStep([] { return S_OK; });
    EXPECT_EQ(Messages(log, CE_SEVERITY_ERROR),
              std::vector<std::wstring>{L"Failed to SetProcessWorkingSetSize(1, 0) (0x00000057)"});

    log.Clear();
    auto accepted = MakeCounted<ScriptedThread>(Limits{1, 4096});
    accepted->Start();
    accepted->RunStep([] { return S_OK; });
    EXPECT_TRUE(log.Records().empty());
}

// Wherever the thread is (waiting in a cycle, out of its loop, never resumed), Stop ends it and
// lets go of it, a second Stop finds nothing, and the kill event is clear again.
TEST(CEThreadTest, StopEndsTheThreadWhereverItIs) {
    auto waiting = MakeCounted<ScriptedThread>();
    waiting->Start();  // its cycle waits for a step that never comes
    auto ended = MakeCounted<ScriptedThread>();
    ended->Start();
    ended->RunStep([&] {
        ended->EndLoop();
        return S_OK;
    });
    auto neverResumed = MakeCounted<ScriptedThread>();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(neverResumed->Started());
    for (ScriptedThread* thread : {waiting.Get(), ended.Get(), neverResumed.Get()}) {
        thread->Stop();
        thread->Stop();
        EXPECT_FALSE(thread->KillEventSet());
        EXPECT_EQ(thread->ResumeThread(), 0xFFFFFFFFu);  // no thread any more
    }
    EXPECT_EQ(ended->Cycles(), 1);
    EXPECT_EQ(neverResumed->Cycles(), 0);
}

}  // namespace
