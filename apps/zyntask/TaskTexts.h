// The texts the client reads and prints: task documents from files, run times in the
// "YYYY-MM-DD HH:MM:SS" form, the schedule name and trigger descriptions of a document, and
// strings for JSON. Stateless; failures throw AppFailure.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ZynTaskSchedulerLib/Types.h"

// The document in `path` (UTF-8, or UTF-16LE after its mark; at most 1 MiB).
std::wstring ReadTaskDocument(const std::wstring& path);
// Whether `path` names a file (rather than a task of the work folder).
bool IsTaskDocumentFile(const std::wstring& path);

// A run time in local time; "none" for 0, the scheduler's answer when there is no run.
std::wstring RunTimeText(DATE runTime);
// The same with its offset from UTC (minutes east): "2027-03-14 03:00:00 -04:00".
std::wstring RunTimeText(DATE runTime, LONG utcOffset);
// A time given on the command line, in any form the scheduler reads dates in.
DATE ParseRunTime(const std::wstring& text);

// "//Schedule/@Name" of the document; empty when it has none.
std::wstring ScheduleName(const std::wstring& document);
// The Description attribute of each trigger of the document's task, in document order.
std::vector<std::wstring> TriggerDescriptions(const std::wstring& document);

// `text` as a JSON string, quotes included.
std::string JsonString(std::wstring_view text);
