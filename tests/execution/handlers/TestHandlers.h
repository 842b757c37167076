// Task handlers for the processor's tests, served by a library of their own that the tests
// register and activate the way any handler of another component is. What a handler does is
// read from the task document it is given:
//   <TestBehaviour> (event handler) "complete" (the default): ProcessTaskAsync fires
//       ST_TASK_COMPLETED before it returns; "silent": it never fires; "running": it fires
//       ST_TASK_RUNNING; "stranger": it fires for another task's identity; "notimpl": it
//       answers E_NOTIMPL and ProcessTask fires ST_TASK_COMPLETED during the run;
//       "asyncfail": it answers E_FAIL.
//   <TestBehaviour> (plain handler, no events) "complete" (the default): ProcessTask answers
//       S_OK; "fail": E_FAIL; "block": it returns only once CancelTask has been called.
//   <TestRecord> a file to which every call is appended as a line: "ProcessTask",
//       "ProcessTaskAsync", "CancelTask" and, when the handler goes, "Release".
#pragma once

#include "ZynTaskSchedulerLib/Types.h"

inline constexpr CLSID CLSID_TestEventHandler = {
    0x3E1C5A70, 0x2B4D, 0x4F61, {0x8A, 0x93, 0x5C, 0x0D, 0x1E, 0x2F, 0x30, 0x41}};
inline constexpr CLSID CLSID_TestPlainHandler = {
    0x3E1C5A71, 0x2B4D, 0x4F61, {0x8A, 0x93, 0x5C, 0x0D, 0x1E, 0x2F, 0x30, 0x41}};
// A class the registry knows by ProgID but that no library serves.
inline constexpr CLSID CLSID_TestUnservedHandler = {
    0x3E1C5A72, 0x2B4D, 0x4F61, {0x8A, 0x93, 0x5C, 0x0D, 0x1E, 0x2F, 0x30, 0x41}};

inline constexpr wchar_t kTestEventHandlerProgId[] = L"ZynTest.EventHandler";
inline constexpr wchar_t kTestPlainHandlerProgId[] = L"ZynTest.PlainHandler";
inline constexpr wchar_t kTestUnservedHandlerProgId[] = L"ZynTest.UnservedHandler";

// The identity the "stranger" behaviour reports.
inline constexpr wchar_t kStrangerTaskGuid[] = L"{99999999-9999-4999-8999-999999999999}";
