#include "tasks/RunRecord.h"

#include <cstdio>
#include <cwchar>
#include <span>

#include "platform/Base64.h"
#include "platform/MomentText.h"
#include "platform/WideText.h"

namespace {

constexpr const wchar_t* kReasonNames[] = {L"schedule", L"run-now", L"catch-up"};
constexpr const wchar_t* kOutcomeNames[] = {L"exited",     L"signalled",    L"cancelled",
                                            L"time-limit", L"start-failed", L"completed",
                                            L"failed",     L"ended",        L"skipped"};
constexpr const wchar_t* kSkipNames[] = {L"late",
                                         L"already-running",
                                         L"already-queued",
                                         L"queue-full",
                                         L"scheduler-disabled",
                                         L"file-not-trusted",
                                         L"clock-corrected",
                                         L"scheduler-stopped"};

// The value whose name is `name`; none for a name not in the table.
template <class Value>
std::optional<Value> FromName(std::span<const wchar_t* const> names, std::wstring_view name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (name == names[i]) {
            return static_cast<Value>(i);
        }
    }
    return std::nullopt;
}

void SetTime(const XmlNode& run, const wchar_t* name,
             const std::optional<RunRecord::TimePoint>& at) {
    if (at) {
        run.SetAttribute(name, MomentText(*at));
    }
}

std::optional<RunRecord::TimePoint> TimeOf(const XmlNode& run, const wchar_t* name) {
    const XmlNode attribute = run.Attribute(name);
    return attribute ? ParseMomentText(attribute.Text()) : std::nullopt;
}

template <class Number>
std::optional<Number> NumberOf(const XmlNode& run, const wchar_t* name) {
    const XmlNode attribute = run.Attribute(name);
    if (!attribute) {
        return std::nullopt;
    }
    const std::wstring text = attribute.Text();
    wchar_t* end = nullptr;
    const long long value = std::wcstoll(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0') {
        return std::nullopt;
    }
    return static_cast<Number>(value);
}

}  // namespace

const wchar_t* RunReasonName(RunReason reason) {
    return kReasonNames[static_cast<std::size_t>(reason)];
}

const wchar_t* RunOutcomeName(RunOutcome outcome) {
    return kOutcomeNames[static_cast<std::size_t>(outcome)];
}

const wchar_t* SkipReasonName(SkipReason reason) {
    return kSkipNames[static_cast<std::size_t>(reason)];
}

RunRecord SkippedRunRecord(std::optional<RunRecord::TimePoint> due, RunReason reason,
                           SkipReason skipped, std::wstring detail) {
    RunRecord record;
    record.due = due;
    record.reason = reason;
    record.outcome = RunOutcome::Skipped;
    record.skipped = skipped;
    record.detail = std::move(detail);
    return record;
}

void AppendRunRecord(const XmlNode& parent, const RunRecord& record) {
    const XmlNode run = parent.AppendElement(L"Run");
    run.SetAttribute(L"Reason", RunReasonName(record.reason));
    run.SetAttribute(L"Outcome", RunOutcomeName(record.outcome));
    if (record.skipped) {
        run.SetAttribute(L"Skipped", SkipReasonName(*record.skipped));
    }
    SetTime(run, L"Due", record.due);
    SetTime(run, L"Queued", record.queued);
    SetTime(run, L"Started", record.started);
    SetTime(run, L"Ended", record.ended);
    if (record.exitCode) {
        run.SetAttribute(L"ExitCode", std::to_wstring(*record.exitCode));
    }
    if (record.signal) {
        run.SetAttribute(L"Signal", std::to_wstring(*record.signal));
    }
    if (!record.detail.empty()) {
        run.SetAttribute(L"Detail", record.detail);
    }
    if (record.output) {
        run.SetAttribute(L"OutputBytes", std::to_wstring(record.outputBytes));
        run.AppendElement(L"Output").SetText(Utf8ToWideLossy(EncodeBase64(*record.output)));
    }
}

RunRecord ReadRunRecord(const XmlNode& run) {
    RunRecord record;
    record.reason = FromName<RunReason>(kReasonNames, run.Attribute(L"Reason").Text())
                        .value_or(RunReason::Schedule);
    record.outcome = FromName<RunOutcome>(kOutcomeNames, run.Attribute(L"Outcome").Text())
                         .value_or(RunOutcome::Ended);
    record.skipped = FromName<SkipReason>(kSkipNames, run.Attribute(L"Skipped").Text());
    record.due = TimeOf(run, L"Due");
    record.queued = TimeOf(run, L"Queued");
    record.started = TimeOf(run, L"Started");
    record.ended = TimeOf(run, L"Ended");
    record.exitCode = NumberOf<DWORD>(run, L"ExitCode");
    record.signal = NumberOf<int>(run, L"Signal");
    record.detail = run.Attribute(L"Detail").Text();
    if (const XmlNode output = run.SelectSingle(L"Output")) {
        record.output = DecodeBase64(WideToUtf8(output.Text()));
        record.outputBytes = NumberOf<std::uint64_t>(run, L"OutputBytes").value_or(0);
    }
    return record;
}
