#include "zyntask/ClientCommands.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <thread>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "common/AppFailure.h"
#include "common/AutomationCall.h"
#include "common/SchedulerSettingsStore.h"
#include "common/WorkFolderSafety.h"
#include "platform/FileSystem.h"
#include "platform/MomentText.h"
#include "platform/SystemMessage.h"
#include "platform/WallClock.h"
#include "platform/WallTimeline.h"
#include "platform/WideText.h"
#include "zyntask/RunHistory.h"
#include "zyntask/SchedulerSession.h"
#include "zyntask/TaskTexts.h"

namespace {

constexpr DWORD kMaximumRunCount = 100000000;
constexpr DWORD kKeptRunRecords = 50;

void Print(std::wstring_view line) {
    const std::string text = WideToUtf8(line) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
}

std::wstring WorkFolderOf(const ClientContext& context) {
    return context.workFolder.value_or(SchedulerSettingsStore::WorkFolder());
}

// A line per run policy the task's document sets.
void PrintRunPolicies(IZynTask& task) {
    ComPtr<IZynTask2> task2;
    CheckCall(task.QueryInterface(IID_IZynTask2, reinterpret_cast<void**>(task2.Receive())),
              L"asking the task for its run policies");
    CBstr policies;
    CheckCall(task2->get_RunPolicies(policies.Receive()), L"reading the run policies");
    if (!policies.View().empty()) {
        Print(policies.View());
    }
}

// A scheduler on the work folder, the library registered first when it needs to be.
SchedulerSession OpenSession(const ClientContext& context) {
    context.library.EnsureRegistered();
    SchedulerSession session(context.library);
    session.OpenFolder(WorkFolderOf(context), SchedulerSettingsStore::LoggingEnabled());
    return session;
}

// A scheduler with no work folder, for documents read from files.
SchedulerSession DetachedSession(const ClientContext& context) {
    context.library.EnsureRegistered();
    return SchedulerSession(context.library);
}

[[noreturn]] void ThrowHeldElsewhere(const SchedulerSession& session, const wchar_t* advice) {
    throw AppFailure{session.HolderText() + L"; " + advice};
}

// A session for what only the folder's holder may do: refused, with `advice`, while another
// process holds the folder.
SchedulerSession OpenHeldSession(const ClientContext& context, const wchar_t* advice) {
    SchedulerSession session = OpenSession(context);
    if (session.HeldElsewhere()) {
        ThrowHeldElsewhere(session, advice);
    }
    return session;
}

int AddTask(ArgumentList& arguments, ClientContext& context) {
    const std::wstring file = arguments.RequirePositional("FILE");
    arguments.ExpectEnd();
    const std::wstring document = ReadTaskDocument(file);
    WorkFolderSafety::Prepare(WorkFolderOf(context));
    SchedulerSession session = OpenSession(context);
    const ComPtr<IZynTask> task = session.CreateTask(document);
    const std::wstring identity = TaskIdentity(*task);
    if (session.HeldElsewhere()) {
        // The holder's scheduler stores nothing for us; a whole file appears for it at once.
        const std::string bytes = WideToUtf8(document);
        if (const DWORD error = ReplaceFileAtomically(session.TaskFile(identity), {bytes}, true);
            error != ERROR_SUCCESS) {
            throw AppFailure{L"cannot write " + session.TaskFile(identity) + L": " +
                             SystemMessageText(error)};
        }
    }
    Print(identity);
    return 0;
}

int ListTasks(ArgumentList& arguments, ClientContext& context) {
    const bool json = arguments.TakeFlag("json");
    arguments.ExpectEnd();
    SchedulerSession session = OpenSession(context);
    std::string array = "[";
    for (const ComPtr<IZynTask>& task : session.Tasks()) {
        const std::wstring identity = TaskIdentity(*task);
        const std::wstring name = ScheduleName(TaskDocument(*task));
        const std::wstring next = RunTimeText(NextRunTime(*task));
        const std::vector<RunEntry> last = TaskRunRecords(*task, 1);
        if (json) {
            array += (array.size() > 1 ? ",\n " : "") + std::string("{\"id\":") +
                     JsonString(identity) + ",\"name\":" + JsonString(name) +
                     ",\"next\":" + (next == L"none" ? "null" : JsonString(next)) +
                     ",\"lastRun\":" + (last.empty() ? "null" : RecordJson(last.front())) + "}";
        } else {
            Print(identity + L"\t" + name + L"\t" + next + L"\t" +
                  (last.empty() ? L"never" : LastRunText(last.front())));
        }
    }
    if (json) {
        Print(Utf8ToWideLossy(array + "]"));
    }
    return 0;
}

int ShowTask(ArgumentList& arguments, ClientContext& context) {
    const std::wstring which = arguments.RequirePositional("ID or NAME");
    arguments.ExpectEnd();
    SchedulerSession session = OpenSession(context);
    Print(TaskDocument(*session.FindTask(which)));
    return 0;
}

int ShowTaskLog(ArgumentList& arguments, ClientContext& context) {
    const std::wstring which = arguments.RequirePositional("ID or NAME");
    arguments.ExpectEnd();
    SchedulerSession session = OpenSession(context);
    const ComPtr<IZynTask> task = session.FindTask(which);
    std::wstring log;
    if (session.HeldElsewhere()) {
        // Only the holder's scheduler reads logs; the file is replaced whole, never torn.
        if (IsTaskDocumentFile(session.TaskLogFile(TaskIdentity(*task)))) {
            log = ReadTaskDocument(session.TaskLogFile(TaskIdentity(*task)));
        }
    } else {
        CBstr text;
        CheckCall(task->get_Log(text.Receive()), L"reading the task log");
        log = text.View();
    }
    if (log.empty()) {
        throw AppFailure{L"no log for " + which +
                         L": task logging is off (zyntaskd --logging on) or the task never ran"};
    }
    Print(log);
    return 0;
}

int ShowHistory(ArgumentList& arguments, ClientContext& context) {
    const bool json = arguments.TakeFlag("json");
    const bool output = arguments.TakeFlag("output");
    const DWORD count = arguments.TakeNumber("count", 1, kKeptRunRecords).value_or(kKeptRunRecords);
    const std::wstring which = arguments.RequirePositional("ID or NAME");
    arguments.ExpectEnd();
    SchedulerSession session = OpenSession(context);
    const std::vector<RunEntry> entries = TaskRunRecords(*session.FindTask(which), count);
    if (output) {
        for (const RunEntry& entry : entries) {
            if (entry.outcome == L"skipped") {
                continue;
            }
            if (!entry.output) {
                throw AppFailure{L"the output of the latest run of " + which +
                                 L" was not captured: its handler does not tell it"};
            }
            std::fwrite(entry.output->data(), 1, entry.output->size(), stdout);
            return 0;
        }
        throw AppFailure{L"no run of " + which + L" is on record"};
    }
    std::string array = "[";
    for (const RunEntry& entry : entries) {
        if (json) {
            array += (array.size() > 1 ? ",\n " : "") + RecordJson(entry);
        } else {
            Print(RecordLine(entry));
        }
    }
    if (json) {
        Print(Utf8ToWideLossy(array + "]"));
    }
    return 0;
}

// The moment `after` names: now, or the first moment the local clock shows the time given.
std::int64_t RunsFrom(const std::optional<std::wstring>& after) {
    WallTime wall = 0;
    if (after && !WallTimeOfDate(ParseRunTime(*after), wall)) {
        ThrowUsage(L"\"" + *after + L"\" is not a time the scheduler can reach");
    }
    return after ? WallTimeline().FirstShowing(wall)
                 : std::chrono::duration_cast<std::chrono::microseconds>(
                       WallClock::CurrentTime().time_since_epoch())
                       .count();
}

// "2027-03-14 03:00:00 -04:00", and for a run at a time the clock skips, the time it stands for.
std::wstring RunLine(const TaskRun& run) {
    const std::wstring time = RunTimeText(run.localTime, run.utcOffset);
    return run.skippedTime == 0
               ? time
               : time + L" (for " + RunTimeText(run.skippedTime) + L", skipped by the clock)";
}

std::string RunJson(const TaskRun& run) {
    return "{\"run\":" + JsonString(RunTimeText(run.localTime, run.utcOffset)) +
           ",\"utc\":" + JsonString(UtcText(run.at)) + ",\"skipped\":" +
           (run.skippedTime == 0 ? "null" : JsonString(RunTimeText(run.skippedTime))) + "}";
}

// Each run is the one the scheduler makes after the moment of the run before: the question it
// asks once it made that run.
int NextRuns(ArgumentList& arguments, ClientContext& context) {
    const std::optional<std::wstring> after = arguments.TakeOption("after");
    const DWORD count = arguments.TakeNumber("count", 1, kMaximumRunCount).value_or(1);
    const bool json = arguments.TakeFlag("json");
    const std::wstring which = arguments.RequirePositional("FILE, ID or NAME");
    arguments.ExpectEnd();
    const bool fromFile = IsTaskDocumentFile(which);
    SchedulerSession session = fromFile ? DetachedSession(context) : OpenSession(context);
    const ComPtr<IZynTask> task =
        fromFile ? session.CreateTask(ReadTaskDocument(which)) : session.FindTask(which);
    std::string lines;
    std::string array;
    std::int64_t moment = RunsFrom(after);
    for (DWORD printed = 0; printed < count; ++printed) {
        const TaskRun run = RunAfter(*task, moment);
        if (run.at == 0) {
            break;
        }
        lines += WideToUtf8(RunLine(run)) + "\n";
        array += (array.empty() ? "" : ",\n ") + RunJson(run);
        moment = run.at;
    }
    if (json) {
        std::fputs(("[" + array + "]\n").c_str(), stdout);
    } else {
        std::fputs(lines.empty() ? "none\n" : lines.c_str(), stdout);
    }
    return 0;
}

int DescribeTriggers(ArgumentList& arguments, ClientContext& context) {
    const std::wstring file = arguments.RequirePositional("FILE");
    arguments.ExpectEnd();
    SchedulerSession session = DetachedSession(context);
    const ComPtr<IZynTask> task = session.CreateTask(ReadTaskDocument(file));
    for (const std::wstring& description : TriggerDescriptions(TaskDocument(*task))) {
        Print(description);
    }
    PrintRunPolicies(*task);
    return 0;
}

int CheckDocument(ArgumentList& arguments, ClientContext& context) {
    const std::wstring file = arguments.RequirePositional("FILE");
    arguments.ExpectEnd();
    SchedulerSession session = DetachedSession(context);
    const ComPtr<IZynTask> task = session.CreateTask(ReadTaskDocument(file));
    Print(L"ok");
    PrintRunPolicies(*task);
    return 0;
}

// The record of the run that follows `before`, the newest record when the run was asked for.
RunEntry WaitForNextRecord(IZynTask& task, const std::vector<RunEntry>& before) {
    for (;;) {
        const std::vector<RunEntry> newest = TaskRunRecords(task, 1);
        if (!newest.empty() && (before.empty() || !SameRun(newest.front(), before.front()))) {
            return newest.front();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

int RunTask(ArgumentList& arguments, ClientContext& context) {
    const std::wstring which = arguments.RequirePositional("ID or NAME");
    arguments.ExpectEnd();
    SchedulerSession session =
        OpenHeldSession(context,
                        L"it runs the task at its next due time; to run it now, stop "
                        L"that scheduler and run this command again");
    const ComPtr<IZynTask> task = session.FindTask(which);
    const std::wstring identity = TaskIdentity(*task);
    // Through the engine this session holds, so that the run leaves its record as a daemon's
    // runs do; the folder stays held meanwhile, so no scheduler starts the task twice.
    const std::vector<RunEntry> before = TaskRunRecords(*task, 1);
    CheckCall(task->ExecuteTask(), L"running " + identity);
    const RunEntry run = WaitForNextRecord(*task, before);
    if (run.outcome == L"start-failed" || run.outcome == L"skipped") {
        throw AppFailure{L"running " + identity + L": " + OutcomeText(run)};
    }
    Print(L"ran " + identity + L": " + OutcomeText(run));
    return 0;
}

int CancelTask(ArgumentList& arguments, ClientContext& context) {
    const std::wstring which = arguments.RequirePositional("ID or NAME");
    arguments.ExpectEnd();
    SchedulerSession session = OpenHeldSession(
        context, L"only that process can cancel its runs; stopping it (SIGTERM) cancels every run");
    session.FindTask(which);
    throw AppFailure{L"nothing to cancel: no scheduler runs the tasks of " + session.WorkFolder()};
}

int DeleteTask(ArgumentList& arguments, ClientContext& context) {
    const std::wstring which = arguments.RequirePositional("ID or NAME");
    arguments.ExpectEnd();
    SchedulerSession session = OpenSession(context);
    const ComPtr<IZynTask> task = session.FindTask(which);
    const std::wstring identity = TaskIdentity(*task);
    if (!session.HeldElsewhere()) {
        CheckCall(task->DeleteTask(), L"deleting " + identity);
    } else if (const DWORD error = RemoveFile(session.TaskFile(identity)); error != ERROR_SUCCESS) {
        throw AppFailure{L"cannot delete " + session.TaskFile(identity) + L": " +
                         SystemMessageText(error)};
    } else {
        RemoveFile(session.TaskLogFile(identity));  // there may be none
        RemoveFile(session.RunRecordsFile(identity));
    }
    Print(L"deleted " + identity);
    return 0;
}

int SwitchScheduler(ArgumentList& arguments, ClientContext& context, bool enable) {
    arguments.ExpectEnd();
    SchedulerSession session = OpenSession(context);
    if (session.HeldElsewhere()) {
        ThrowHeldElsewhere(session, enable ? L"it runs the tasks already"
                                           : L"to stop it running tasks, stop it (SIGTERM, or "
                                             L"systemctl stop zyntaskd)");
    }
    const std::wstring idle = L"no scheduler runs the tasks of " + session.WorkFolder();
    if (enable) {
        throw AppFailure{idle + L"; start one with zyntaskd --work-folder " + session.WorkFolder()};
    }
    Print(idle);
    return 0;
}

int EnableScheduler(ArgumentList& arguments, ClientContext& context) {
    return SwitchScheduler(arguments, context, true);
}

int DisableScheduler(ArgumentList& arguments, ClientContext& context) {
    return SwitchScheduler(arguments, context, false);
}

int RegisterLibrary(ArgumentList& arguments, ClientContext& context) {
    arguments.ExpectEnd();
    context.library.Register();
    Print(L"registered " + context.library.File());
    return 0;
}

int UnregisterLibrary(ArgumentList& arguments, ClientContext& context) {
    arguments.ExpectEnd();
    context.library.Unregister();
    Print(L"unregistered " + context.library.File());
    return 0;
}

constexpr ClientCommand kCommands[] = {
    {"add", "FILE", "store the task document FILE as a new task and print its identity", AddTask},
    {"list", "[--json]", "one line per task: identity, schedule name, next run, last run",
     ListTasks},
    {"show", "ID|NAME", "print a task's document with its trigger descriptions", ShowTask},
    {"log", "ID|NAME", "print a task's log document", ShowTaskLog},
    {"history", "ID|NAME [--count N] [--json] [--output]",
     "print a task's run records, newest first, or the output of its latest run", ShowHistory},
    {"next", "FILE|ID|NAME [--after \"YYYY-MM-DD HH:MM:SS\"] [--count N] [--json]",
     "print the next N runs as the scheduler makes them: local time and UTC offset", NextRuns},
    {"describe", "FILE", "print a line per trigger of FILE: its description", DescribeTriggers},
    {"check", "FILE", "check the task document FILE: \"ok\", or the error", CheckDocument},
    {"run", "ID|NAME", "run a task now and wait for it", RunTask},
    {"cancel", "ID|NAME", "cancel a task's run", CancelTask},
    {"delete", "ID|NAME", "delete a task and its log", DeleteTask},
    {"enable", "", "let the scheduler of the work folder run tasks", EnableScheduler},
    {"disable", "", "stop the scheduler of the work folder running tasks", DisableScheduler},
    {"register", "", "register the scheduler library", RegisterLibrary},
    {"unregister", "", "remove the scheduler library's registration", UnregisterLibrary},
};

}  // namespace

std::span<const ClientCommand> ClientCommands() {
    return kCommands;
}
