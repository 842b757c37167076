#include "zyntask/RunHistory.h"

#include <cwchar>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/ComPtr.h"
#include "common/AppFailure.h"
#include "common/AutomationCall.h"
#include "platform/Base64.h"
#include "platform/MomentText.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"
#include "zyntask/TaskTexts.h"

namespace {

std::wstring AttributeText(const XmlNode& run, const wchar_t* name) {
    return run.Attribute(name).Text();
}

template <class Number>
std::optional<Number> AttributeNumber(const XmlNode& run, const wchar_t* name) {
    const std::wstring text = AttributeText(run, name);
    if (text.empty()) {
        return std::nullopt;
    }
    return static_cast<Number>(std::wcstoll(text.c_str(), nullptr, 10));
}

RunEntry EntryOf(const XmlNode& run) {
    RunEntry entry;
    entry.due = AttributeText(run, L"Due");
    entry.queued = AttributeText(run, L"Queued");
    entry.started = AttributeText(run, L"Started");
    entry.ended = AttributeText(run, L"Ended");
    entry.reason = AttributeText(run, L"Reason");
    entry.outcome = AttributeText(run, L"Outcome");
    entry.skipped = AttributeText(run, L"Skipped");
    entry.detail = AttributeText(run, L"Detail");
    entry.exitCode = AttributeNumber<unsigned long>(run, L"ExitCode");
    entry.signal = AttributeNumber<int>(run, L"Signal");
    if (const XmlNode output = run.SelectSingle(L"Output")) {
        entry.output = DecodeBase64(WideToUtf8(output.Text()));
    }
    return entry;
}

// A record's moment as the task list shows times: local, to the second.
std::wstring ShownTime(const std::wstring& moment) {
    const auto parsed = ParseMomentText(moment);
    return parsed ? LocalMomentText(*parsed) : L"-";
}

std::wstring DurationText(const RunEntry& entry) {
    const auto started = ParseMomentText(entry.started);
    const auto ended = ParseMomentText(entry.ended);
    if (!started || !ended) {
        return L"-";
    }
    const double seconds = std::chrono::duration<double>(*ended - *started).count();
    return FormatText(32, L"%.3f s", seconds);
}

std::wstring OutcomeWords(const RunEntry& entry, bool withDetail) {
    std::wstring text = entry.outcome;
    if (entry.exitCode && entry.outcome == L"exited") {
        text += L" " + std::to_wstring(*entry.exitCode);
    }
    if (entry.signal) {
        text += L" " + std::to_wstring(*entry.signal);
    }
    if (!entry.skipped.empty()) {
        text += L" (" + entry.skipped + L")";
    }
    return !withDetail || entry.detail.empty() ? text : text + L": " + entry.detail;
}

std::string JsonText(const std::wstring& text) {
    return text.empty() ? "null" : JsonString(text);
}

template <class Number>
std::string JsonNumber(const std::optional<Number>& number) {
    return number ? std::to_string(*number) : "null";
}

}  // namespace

std::vector<RunEntry> TaskRunRecords(IZynTask& task, unsigned count) {
    ComPtr<IZynTask2> records;
    CheckCall(task.QueryInterface(IID_IZynTask2, reinterpret_cast<void**>(records.Receive())),
              L"asking the task for its run records");
    CBstr text;
    CheckCall(records->GetRunRecords(static_cast<LONG>(count), text.Receive()),
              L"reading the run records");
    XmlDocument document;
    std::wstring reason;
    if (!document.Load(text.View(), reason)) {
        throw AppFailure{L"the run records do not read: " + reason};
    }
    std::vector<RunEntry> entries;
    for (const XmlNode& run : document.DocumentElement().ChildElements()) {
        entries.push_back(EntryOf(run));
    }
    return entries;
}

std::wstring RecordLine(const RunEntry& entry) {
    return (entry.due.empty() ? L"now" : ShownTime(entry.due)) + L"\t" + ShownTime(entry.started) +
           L"\t" + DurationText(entry) + L"\t" + OutcomeWords(entry, true) + L"\t" + entry.reason;
}

std::wstring OutcomeText(const RunEntry& entry) {
    return OutcomeWords(entry, true);
}

bool SameRun(const RunEntry& one, const RunEntry& other) {
    return one.reason == other.reason && one.due == other.due && one.queued == other.queued &&
           one.ended == other.ended && one.outcome == other.outcome;
}

std::wstring LastRunText(const RunEntry& entry) {
    return ShownTime(entry.started.empty() ? entry.due : entry.started) + L" " +
           OutcomeWords(entry, false);
}

std::string RecordJson(const RunEntry& entry) {
    return "{\"due\":" + JsonText(entry.due) + ",\"queued\":" + JsonText(entry.queued) +
           ",\"started\":" + JsonText(entry.started) + ",\"ended\":" + JsonText(entry.ended) +
           ",\"outcome\":" + JsonString(entry.outcome) +
           ",\"exitCode\":" + JsonNumber(entry.exitCode) +
           ",\"signal\":" + JsonNumber(entry.signal) + ",\"reason\":" + JsonString(entry.reason) +
           ",\"skipped\":" + JsonText(entry.skipped) + ",\"detail\":" + JsonText(entry.detail) +
           ",\"output\":" + (entry.output ? JsonString(Utf8ToWideLossy(*entry.output)) : "null") +
           "}";
}
