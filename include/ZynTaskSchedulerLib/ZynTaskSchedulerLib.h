// The library's automation contract: identities, ProgIDs, the task status values and the
// interfaces of the scheduler, task collection, task, task processor and task handler. This
// header with the runtime headers beside it is all a C++ client needs; the library itself is
// loaded through activation (CoCreateInstance of CLSID_ZynTaskScheduler), never linked.
//
// Every method returns an HRESULT and lets no exception out; on failure the calling thread's
// error record (GetErrorInfo) describes it. Out-strings and out-interfaces belong to the caller.
// All objects are free-threaded.
#pragma once

#include "ZynTaskSchedulerLib/Dispatch.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "ZynTaskSchedulerLib/Unknown.h"
#include "ZynTaskSchedulerLib/Variant.h"

// Identities, fixed for good: clients and registrations rely on them.
inline constexpr CLSID CLSID_ZynTaskScheduler = {
    0x2C343ED8, 0x6A4C, 0x46F8, {0x82, 0xE4, 0x85, 0xB2, 0x13, 0x08, 0x21, 0xA5}};
inline constexpr CLSID CLSID_ZynTasks = {
    0xD0524721, 0xE5D0, 0x4CE8, {0x8D, 0x7E, 0x25, 0x62, 0xA0, 0x00, 0xD7, 0xED}};
inline constexpr CLSID CLSID_ZynTask = {
    0x99AD9641, 0xED85, 0x422B, {0x86, 0xC6, 0xFE, 0x5F, 0x99, 0xFF, 0x0F, 0xB0}};
inline constexpr CLSID CLSID_ZynCmdLineTaskHandler = {
    0xCB2BF1DC, 0x259A, 0x41C9, {0x86, 0x3B, 0x6F, 0xBD, 0x3B, 0x02, 0x5F, 0xE9}};
inline constexpr CLSID CLSID_ZynTaskProcessor = {
    0x7DA062E7, 0xCCB0, 0x4307, {0xA9, 0x9C, 0xCF, 0x5F, 0x0F, 0x5B, 0xD9, 0x22}};
inline constexpr IID IID_IZynTaskScheduler = {
    0x4FBA34B9, 0x704D, 0x4113, {0xA7, 0x20, 0x6A, 0xCB, 0x53, 0x59, 0x9B, 0x86}};
inline constexpr IID IID_IZynTasks = {
    0xEAF7F1AC, 0x379B, 0x4934, {0x87, 0x84, 0xCB, 0x05, 0xAB, 0xA6, 0x63, 0x1F}};
inline constexpr IID IID_IZynTask = {
    0xF254E0C8, 0x4E06, 0x46A1, {0xA0, 0x49, 0x77, 0x0B, 0x75, 0x59, 0xC7, 0x67}};
inline constexpr IID IID_IZynTask2 = {
    0x6C1D9E47, 0x3A8B, 0x4F20, {0x9D, 0x5E, 0x17, 0xB3, 0x82, 0xC6, 0x4A, 0x0F}};
inline constexpr IID IID_IZynScheduledTaskHandler = {
    0xBACA4896, 0x3629, 0x48C7, {0x8E, 0x2A, 0x45, 0x46, 0xB1, 0x18, 0xA6, 0x20}};
inline constexpr IID IID_IZynTaskProcessor = {
    0x948E6215, 0xED62, 0x4115, {0x92, 0x70, 0xA0, 0x5E, 0x34, 0x15, 0xB4, 0xD8}};
inline constexpr IID IID_IZynTaskRuns = {
    0x208AE048, 0x7480, 0x4128, {0xB5, 0x65, 0x3D, 0xF8, 0x80, 0x50, 0x1E, 0x3B}};
inline constexpr IID DIID_IZynScheduledTaskHandlerEvents = {
    0xA27A8C01, 0xC1F0, 0x405B, {0xB7, 0x04, 0x62, 0x06, 0xF9, 0x8C, 0x41, 0x1C}};
inline constexpr GUID LIBID_ZYNTASKSCHEDULERLIBLib = {
    0x1090FD27, 0xD21A, 0x4284, {0x9A, 0xA0, 0xBA, 0x12, 0xE2, 0x9C, 0x4B, 0x6A}};
// The identity a surrogate host would run the library under; no such host exists on this
// platform (out-of-process activation answers REGDB_E_CLASSNOTREG), the value is kept fixed.
inline constexpr GUID APPID_ZynTaskSchedulerSurrogate = {
    0xA758DB95, 0x7346, 0x4E04, {0x9F, 0x06, 0xB7, 0x07, 0x92, 0x36, 0xAB, 0x63}};

inline constexpr wchar_t kProgIdZynTaskScheduler[] = L"Kalvane.ZynTaskScheduler.1";
inline constexpr wchar_t kProgIdZynTasks[] = L"Kalvane.ZynTasks.1";
inline constexpr wchar_t kProgIdZynTask[] = L"Kalvane.ZynTask.1";
inline constexpr wchar_t kProgIdZynCmdLineTaskHandler[] = L"Kalvane.ZynCmdLineTaskHandler.1";
inline constexpr wchar_t kProgIdZynTaskProcessor[] = L"Kalvane.ZynTaskProcessor.1";

enum TaskStatus : LONG {
    ST_TASK_FAILED = 0,
    ST_TASK_COMPLETED = 1,
    ST_TASK_RUNNING = 2,
    ST_TASK_NOTRUNNING = 3,
    ST_TASK_CANCELLED = 4,
};

struct IZynTask : IDispatch {
    virtual HRESULT get_Guid(BSTR* pVal) = 0;                                    // DISPID 1
    virtual HRESULT put_Guid(BSTR newVal) = 0;                                   // DISPID 1
    virtual HRESULT get_Xml(BSTR* pVal) = 0;                                     // DISPID 2
    virtual HRESULT put_Xml(BSTR newVal) = 0;                                    // DISPID 2
    virtual HRESULT GetNextRunTime(VARIANT CurrentDate, DATE* NextRunTime) = 0;  // DISPID 3
    virtual HRESULT IsDue(VARIANT LastRunDate, VARIANT CurrentDate, VARIANT_BOOL* Due) = 0;  // 4
    virtual HRESULT DeleteTask() = 0;                            // DISPID 5
    virtual HRESULT ExecuteTask() = 0;                           // DISPID 6
    virtual HRESULT GetNextTriggerIndex(LONG* lTriggerIdx) = 0;  // DISPID 7
    virtual HRESULT get_Log(BSTR* pVal) = 0;                     // DISPID 8
    virtual HRESULT CancelTask() = 0;                            // DISPID 9

protected:
    ~IZynTask() = default;
};

// A task's runs exactly as its scheduler makes them, for previews; a task object answers it
// through QueryInterface. Moments count microseconds from 1970-01-01 00:00 UTC.
struct IZynTaskRuns : IUnknown {
    // The task's first run after the moment After: its moment (*At; 0 when the task has no
    // further run), the local time it comes at and that time's offset from UTC in minutes (east
    // of Greenwich positive), and the local time the schedule names for it when the clock skips
    // that time, the run then coming at the first moment after the gap (0 otherwise).
    virtual HRESULT GetRunAfter(std::int64_t After, std::int64_t* At, DATE* LocalTime,
                                LONG* UtcOffset, DATE* SkippedTime) = 0;

protected:
    ~IZynTaskRuns() = default;
};

// The task with what its runs left and its run policies: the second version of the task
// interface (IZynTask, its members and identity, stay as they were). Task objects hand it out,
// and their IDispatch reaches its members too.
//
// Records come as the document of the task's run records file: a RunRecords element with one
// Run element per record, newest first (attributes Reason, Outcome, Skipped, Due, Queued,
// Started, Ended, ExitCode, Signal, Detail, OutputBytes; the output's last bytes in base64 in an
// Output child; an attribute that is absent is not known). Count 0 asks for every record kept.
struct IZynTask2 : IZynTask {
    virtual HRESULT GetRunRecords(LONG Count, BSTR* Records) = 0;  // DISPID 10
    // One line per run policy the task's document sets; empty when it sets none.
    virtual HRESULT get_RunPolicies(BSTR* pVal) = 0;  // DISPID 11

protected:
    ~IZynTask2() = default;
};

struct IZynTasks : IDispatch {
    virtual HRESULT get_Count(LONG* pVal) = 0;                          // DISPID 1
    virtual HRESULT get__NewEnum(IEnumUnknown** pVal) = 0;              // DISPID 2
    virtual HRESULT get_Item(LONG index, IZynTask** pTask) = 0;         // DISPID 3
    virtual HRESULT Next(ULONG n, IZynTask** tasks, ULONG* Count) = 0;  // DISPID 4
    virtual HRESULT Skip(ULONG n) = 0;                                  // DISPID 5
    virtual HRESULT Reset() = 0;                                        // DISPID 6
    virtual HRESULT GetTask(BSTR bstrId, IZynTask** ppTask) = 0;        // DISPID 7

protected:
    ~IZynTasks() = default;
};

struct IZynTaskScheduler : IDispatch {
    virtual HRESULT get_tasks(IZynTasks** pVal) = 0;                  // DISPID 1
    virtual HRESULT get_Config(BSTR* pVal) = 0;                       // DISPID 2
    virtual HRESULT put_Config(BSTR newVal) = 0;                      // DISPID 2
    virtual HRESULT CreateTask(VARIANT vXml, IZynTask** ppTask) = 0;  // DISPID 3
    virtual HRESULT AddTask(IZynTask* pTask) = 0;                     // DISPID 4
    virtual HRESULT get_Enabled(VARIANT_BOOL* pVal) = 0;              // DISPID 5
    virtual HRESULT put_Enabled(VARIANT_BOOL newVal) = 0;             // DISPID 5
    virtual HRESULT Start() = 0;                                      // DISPID 6
    virtual HRESULT Stop() = 0;                                       // DISPID 7

protected:
    ~IZynTaskScheduler() = default;
};

// What every task handler implements. After ProcessTaskAsync succeeds, the handler fires
// OnTaskStatus (DISPID 1 of DIID_IZynScheduledTaskHandlerEvents, arguments: the task identity
// it was given, the TaskStatus) once when the task has ended.
struct IZynScheduledTaskHandler : IDispatch {
    virtual HRESULT ProcessTask(BSTR bstrTaskGuid, BSTR bstrTaskXml) = 0;       // DISPID 1
    virtual HRESULT ProcessTaskAsync(BSTR bstrTaskGuid, BSTR bstrTaskXml) = 0;  // DISPID 2
    virtual HRESULT CancelTask() = 0;                                           // DISPID 3

protected:
    ~IZynScheduledTaskHandler() = default;
};

inline constexpr DISPID DISPID_OnTaskStatus = 1;

struct IZynTaskProcessor : IDispatch {
    virtual HRESULT GetTaskStatus(BSTR bstrTaskGuid, LONG* status) = 0;  // DISPID 1
    virtual HRESULT CancelTask(BSTR bstrTaskGuid) = 0;                   // DISPID 2
    virtual HRESULT Resume() = 0;                                        // DISPID 3
    virtual HRESULT Pause() = 0;                                         // DISPID 4
    virtual HRESULT Stop() = 0;                                          // DISPID 5

protected:
    ~IZynTaskProcessor() = default;
};
