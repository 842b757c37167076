#include "tasks/RunPolicies.h"

#include <cwchar>

#include "ZynTaskSchedulerLib/HResults.h"
#include "support/ThrowError.h"

namespace {

constexpr wchar_t kElement[] = L"RunPolicy";

[[noreturn]] void Refuse(const std::wstring& what) {
    CEThrowError(E_FAIL, L"Invalid run policy: " + what);
}

DWORD ReadMinutes(const std::wstring& text, const wchar_t* what) {
    const bool digits = !text.empty() && text.size() <= 6 &&
                        text.find_first_not_of(L"0123456789") == std::wstring::npos;
    const DWORD minutes = digits ? static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, 10)) : 0;
    if (minutes == 0 || minutes > RunPolicies::kMaximumMinutes) {
        Refuse(std::wstring(what) + L" must be a number of minutes from 1 to 525600, not \"" +
               text + L"\"");
    }
    return minutes;
}

// The index of `text` among `names`; refused when it is none of them.
template <std::size_t N>
std::size_t Choice(const std::wstring& text, const wchar_t* const (&names)[N],
                   const wchar_t* what) {
    for (std::size_t i = 0; i < N; ++i) {
        if (text == names[i]) {
            return i;
        }
    }
    std::wstring allowed;
    for (const wchar_t* name : names) {
        allowed += (allowed.empty() ? L"" : L", ") + std::wstring(name);
    }
    Refuse(std::wstring(what) + L" must be one of " + allowed + L", not \"" + text + L"\"");
}

constexpr const wchar_t* kMissedRunsNames[] = {L"none", L"once"};
constexpr const wchar_t* kOverlapNames[] = {L"skip", L"queue", L"replace"};

void ReadMissedRuns(const XmlNode& element, RunPolicies& policies) {
    policies.missedRuns = static_cast<RunPolicies::MissedRuns>(
        Choice(element.Text(), kMissedRunsNames, L"MissedRuns"));
    const XmlNode horizon = element.Attribute(L"Horizon");
    if (policies.missedRuns == RunPolicies::MissedRuns::None) {
        return;
    }
    if (!horizon) {
        Refuse(L"MissedRuns once needs a Horizon in minutes");
    }
    policies.missedRunsHorizonMinutes = ReadMinutes(horizon.Text(), L"MissedRuns Horizon");
}

}  // namespace

std::wstring MinutesText(DWORD minutes) {
    return std::to_wstring(minutes) + (minutes == 1 ? L" minute" : L" minutes");
}

RunPolicies RunPolicies::Read(const XmlDocument& document) {
    RunPolicies policies;
    const std::vector<XmlNode> found = document.SelectAll(std::wstring(L"//") + kElement);
    if (found.empty()) {
        return policies;
    }
    if (found.size() > 1) {
        Refuse(L"a task document has one RunPolicy element at most");
    }
    for (const XmlNode& child : found.front().ChildElements()) {
        const std::wstring name = child.Name();
        if (name == L"TimeLimit") {
            policies.timeLimitMinutes = ReadMinutes(child.Text(), L"TimeLimit");
        } else if (name == L"MissedRuns") {
            ReadMissedRuns(child, policies);
        } else if (name == L"Overlap") {
            policies.overlap =
                static_cast<Overlap>(Choice(child.Text(), kOverlapNames, L"Overlap"));
        } else {
            Refuse(L"unknown element " + name + L" (TimeLimit, MissedRuns and Overlap are known)");
        }
    }
    return policies;
}

std::vector<std::wstring> RunPolicies::Describe() const {
    std::vector<std::wstring> lines;
    if (timeLimitMinutes) {
        lines.push_back(L"time limit: " + MinutesText(*timeLimitMinutes) +
                        L", then the run is ended");
    }
    if (missedRuns == MissedRuns::Once) {
        lines.push_back(L"missed runs: once, when at least one was missed in the last " +
                        MinutesText(missedRunsHorizonMinutes));
    }
    if (overlap != Overlap::Skip) {
        lines.push_back(overlap == Overlap::Queue
                            ? L"overlap: queue, a run due while the last one runs waits for it"
                            : L"overlap: replace, a run due while the last one runs ends it");
    }
    return lines;
}
