#include "tasks/ZynTaskImpl.h"

#include <limits>
#include <utility>

#include "ZynTaskSchedulerLib/Runtime.h"
#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/WallClock.h"
#include "platform/WideText.h"
#include "support/Folders.h"
#include "support/MethodGuard.h"
#include "support/TextFile.h"
#include "support/ThrowError.h"
#include "tasks/ScheduleArithmetic.h"
#include "tasks/TriggerDocument.h"
#include "tasks/TriggerRunSearch.h"

namespace {

constexpr GuardNames kSetXml{L"CZynTaskImpl", L"SetXml"};
constexpr GuardNames kGetXml{L"CZynTaskImpl", L"GetXml"};
constexpr GuardNames kSetGuid{L"CZynTaskImpl", L"SetGuid"};
constexpr GuardNames kCalculateTriggersNextRunTime{L"CZynTaskImpl",
                                                   L"CalculateTriggersNextRunTime"};
constexpr GuardNames kGetNextTriggerIndex{L"CZynTaskImpl", L"GetNextTriggerIndex"};
constexpr std::size_t kMessageCapacity = 4096;
constexpr DATE kNoRunYet = std::numeric_limits<double>::max();

// What the task log shows of a trigger's computation, less the reference time: written again
// when this changes.
struct TriggerState {
    DATE next;
    DATE windowBegin;
    DATE windowEnd;
    bool operator==(const TriggerState&) const = default;
};

TriggerState StateOf(const CZynTaskTrigger& trigger) {
    return {trigger.NextRunTime, trigger.BeginRptCycleTime, trigger.EndRptCycleTime};
}

// File times count 100-nanosecond ticks from 1601; the file system counts from 1970.
constexpr std::int64_t kFileTimeTicksAt1970 = 116'444'736'000'000'000;
constexpr std::int64_t kTicksPerMinute = 600'000'000;

// The local file time of a modification time, false when it precedes the file-time epoch. The
// time zone's current bias applies, not the one in force when the file was written.
bool LocalFileTimeOf(std::int64_t modifiedNanoseconds, std::uint64_t& fileTime) {
    const std::int64_t ticks = kFileTimeTicksAt1970 + modifiedNanoseconds / 100 -
                               std::int64_t{CurrentTimeZoneBias()} * kTicksPerMinute;
    if (ticks < 0) {
        return false;
    }
    fileTime = static_cast<std::uint64_t>(ticks);
    return true;
}

}  // namespace

CZynTaskImpl::CZynTaskImpl(CountedPtr<IZynTaskEngine> engine, LONG taskLogFlag,
                           IZynTaskLogWriter& taskLog)
    : m_taskLogFlag(taskLogFlag), m_engine(std::move(engine)), m_taskLog(taskLog) {}

HRESULT CZynTaskImpl::SetXml(std::wstring_view text) {
    return GuardLogAndRethrow(kSetXml, kTaskImplLogSource, [&] {
        const XmlDocument document = LoadTaskDocument(text);
        if (const XmlNode name = document.SelectSingle(L"//Schedule/@Name")) {
            m_taskName = name.Text();
        }
        ZynTriggerList triggers = ReadTriggers(document);
        UpdateTaskLog(triggers, true);
        m_triggers = std::move(triggers);
        m_xml = text;
    });
}

std::wstring CZynTaskImpl::GetXml() const {
    std::wstring xml;
    GuardLogAndRethrow(kGetXml, kTaskImplLogSource, [&] {
        if (m_xml.empty()) {
            return;
        }
        const XmlDocument document = LoadTaskDocument(m_xml);
        const std::vector<XmlNode> elements = TriggerElements(document);
        for (std::size_t i = 0; i < elements.size() && i < m_triggers.size(); ++i) {
            elements[i].SetAttribute(L"Description", m_triggers[i]->Description);
        }
        xml = document.Serialize();
    });
    return xml;
}

HRESULT CZynTaskImpl::SetGuid(std::wstring_view identity) {
    return GuardLogAndRethrow(kSetGuid, kTaskImplLogSource, [&] {
        if (!m_guid.empty()) {
            CEThrowError(E_ACCESSDENIED, L"Cannot set task's GUID more than once.");
        }
        const std::wstring text(identity);
        CLSID guid{};
        if (FAILED(CLSIDFromString(text.c_str(), &guid))) {
            CEThrowError(E_FAIL, FormatText(kMessageCapacity, L"Parameter %ls is not a valid GUID.",
                                            text.c_str()));
        }
        m_guid = text;
    });
}

bool CZynTaskImpl::IsFileChanged(std::wstring_view path) {
    FileStatus status;
    if (QueryFileStatus(path, status) != ERROR_SUCCESS || !status.isRegularFile) {
        return false;
    }
    std::uint64_t fileTime = 0;
    if (!LocalFileTimeOf(status.modifiedNanoseconds, fileTime)) {
        return false;
    }
    const bool changed = fileTime > m_fileTime;
    m_fileTime = fileTime;
    return changed;
}

HRESULT CZynTaskImpl::LoadXmlFromFile(std::wstring_view path) {
    const bool changed = IsFileChanged(path);
    if (!changed && !m_xml.empty()) {
        return S_OK;
    }
    std::wstring text;
    if (!ReadTextFile(path, text, CP_ACP)) {
        return E_FAIL;
    }
    return SetXml(text);
}

HRESULT CZynTaskImpl::SaveXmlToFile(std::wstring_view path) const {
    return SaveEncodedTextFile(path, m_xml, CP_ACP, true) ? S_OK : E_FAIL;
}

HRESULT CZynTaskImpl::DeleteTaskFile(std::wstring_view path) const {
    if (!FileExists(path)) {
        return S_OK;
    }
    return RemoveFile(path) == ERROR_SUCCESS ? S_OK : E_FAIL;
}

ScheduledRun CZynTaskImpl::CalculateTriggersNextRunTime(RealTime after,
                                                        const WallTimeline& timeline) {
    ScheduledRun best;
    GuardLogAndRethrow(kCalculateTriggersNextRunTime, kTaskImplLogSource, [&] {
        bool changed = false;
        LONG position = 0;
        for (const CountedPtr<CZynTaskTrigger>& trigger : m_triggers) {
            if (trigger->Enabled) {
                const TriggerState before = StateOf(*trigger);
                ScheduledRun run = NextTriggerRun(*trigger, after, timeline);
                changed = changed || StateOf(*trigger) != before;
                // A run the calendar places before its day 0 is no run, as GetNextTriggerIndex
                // reads the triggers.
                const bool counts = run.IsRun() && CompareDates(trigger->NextRunTime, 0) > 0;
                if (counts && (!best.IsRun() || run.at < best.at)) {
                    run.trigger = position;
                    best = run;
                }
            }
            ++position;
        }
        if (changed) {
            UpdateTaskLog(m_triggers, false);
        }
    });
    return best;
}

LONG CZynTaskImpl::GetNextTriggerIndex() const {
    LONG index = -1;
    GuardLogAndRethrow(kGetNextTriggerIndex, kTaskImplLogSource, [&] {
        DATE best = kNoRunYet;
        LONG position = 0;
        for (const CountedPtr<CZynTaskTrigger>& trigger : m_triggers) {
            const DATE next = trigger->NextRunTime;
            if (CompareDates(next, 0) > 0 && CompareDates(next, best) < 0) {
                index = position;
                best = next;
            }
            ++position;
        }
    });
    return index;
}

void CZynTaskImpl::UpdateTaskLog(const ZynTriggerList& triggers, bool withName) const {
    if (m_taskLogFlag == 0 || !m_engine || !m_engine->HasWorkFolderLock() ||
        !m_engine->IsLoggingEnabled()) {
        return;
    }
    const std::wstring folder = JoinPath(m_engine->GetWorkFolder(), kWorkFolderLogsFolderName);
    if (withName) {
        m_taskLog.LogName(folder, m_guid, m_taskName);
    }
    m_taskLog.LogTaskStatus(folder, m_guid, triggers);
}
