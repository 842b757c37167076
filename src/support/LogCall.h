// The one call through which every message of the library is reported, its formatting
// variants, and the failure-trace macros. None of them throws or fails its caller; all may be
// called from any thread. Formatted messages are cut at kLogMessageCapacity characters.
#pragma once

#include "ZynTaskSchedulerLib/Types.h"

inline constexpr DWORD CE_SEVERITY_ERROR = 1;
inline constexpr DWORD CE_SEVERITY_WARNING = 2;
inline constexpr DWORD CE_SEVERITY_INFORMATION = 4;
inline constexpr DWORD CE_SEVERITY_TRACE = 8;
inline constexpr DWORD CE_SEVERITY_VERBOSE = 16;
inline constexpr DWORD CE_SEVERITY_DEBUG = 32;

inline constexpr std::size_t kLogMessageCapacity = 4096;

// Whether a record of `severity` would be kept now. The formatting variants ask first and make
// no text for a record that would be dropped; a caller whose arguments cost something to make
// may ask too.
bool CEWillReport(DWORD severity) noexcept;
// A null or empty message writes nothing; `source` may be null.
void CEReportEvent(DWORD severity, const wchar_t* source, const wchar_t* message) noexcept;
void CEReportEventFormat(DWORD severity, const wchar_t* source, const wchar_t* format,
                         ...) noexcept;
// Appends ", error: " and the system's text for `errorCode` to a non-empty message.
void CEReportEventWithError(DWORD severity, const wchar_t* source, DWORD errorCode,
                            const wchar_t* format, ...) noexcept;
// The source becomes "<file base name without extension>(<line>)".
void CETrace(DWORD severity, const char* sourceFile, int line, const wchar_t* format, ...) noexcept;

// Trace a failing HRESULT, then return it, throw it bare, or throw it through CEThrowError
// with an empty message.
#define FAILED_RETURN(hr)                                                     \
    do {                                                                      \
        const HRESULT failedReturnHr_ = (hr);                                 \
        CETrace(CE_SEVERITY_WARNING, __FILE__, __LINE__, L"FAILED_RETURN %x", \
                static_cast<unsigned>(failedReturnHr_));                      \
        return failedReturnHr_;                                               \
    } while (false)

#define FAILED_THROW(hr)                                                     \
    do {                                                                     \
        const HRESULT failedThrowHr_ = (hr);                                 \
        CETrace(CE_SEVERITY_WARNING, __FILE__, __LINE__, L"FAILED_THROW %x", \
                static_cast<unsigned>(failedThrowHr_));                      \
        throw failedThrowHr_;                                                \
    } while (false)

#define CE_FAILED_THROW_ERROR(hr)                                                     \
    do {                                                                              \
        const HRESULT failedThrowErrorHr_ = (hr);                                     \
        CETrace(CE_SEVERITY_WARNING, __FILE__, __LINE__, L"CE_FAILED_THROW_ERROR %x", \
                static_cast<unsigned>(failedThrowErrorHr_));                          \
        CEThrowError(failedThrowErrorHr_, L"");                                       \
    } while (false)
