// Whole-file text input and output for every document the library keeps on disk. Text in
// memory has bare line feeds; on disk it has CR LF. Code page 0 and 65001 are UTF-8 (65001
// with its mark), 1200 is UTF-16LE with its mark. Both routines answer false with the system
// error code in the thread's last-error value, log what they retried, and never throw.
#pragma once

#include <string>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/CodePages.h"

// Largest file ReadTextFile accepts; anything larger is not one of our documents.
inline constexpr std::size_t kMaxTextFileBytes = 1024 * 1024;

// Reads a regular file (no link, device or pipe) of at most kMaxTextFileBytes. A mark
// (FF FE or EF BB BF) decides the encoding; otherwise `codePage` does. Text that does not
// decode fails with ERROR_NO_UNICODE_TRANSLATION.
bool ReadTextFile(std::wstring_view path, std::wstring& text, UINT codePage);

// Writes atomically: a crash leaves the old file or the new one. `durable` also flushes the
// file and its folder to disk before answering.
bool SaveEncodedTextFile(std::wstring_view path, std::wstring_view text, UINT codePage,
                         bool durable = false);
