#include "support/AgentLogRecord.h"

#include <cwchar>
#include <string_view>

#include "platform/WideText.h"
#include "platform/XmlDocument.h"

namespace {

constexpr DWORD kTraceSeverity = 8;
constexpr DWORD kInformationSeverity = 4;
constexpr DWORD kHighestSeverity = 32;
constexpr std::size_t kDateCapacity = 64;

DWORD ModeField(DWORD severityArgument, DWORD overrideValue) {
    const DWORD source = overrideValue == kNoAgentLogOverride ? severityArgument : overrideValue;
    return source & kAgentLogSeverityModeMask;
}

// "MM/DD/YYYY hh:mm:ss.mmm0000 +hh:mm"; the sign is '+' for a zone east of UTC or at it.
std::wstring FormatDate(const SYSTEMTIME& t, LONG biasMinutes) {
    const LONG magnitude = biasMinutes < 0 ? -biasMinutes : biasMinutes;
    return FormatText(kDateCapacity, L"%02d/%02d/%04d %02d:%02d:%02d.%03d0000 %lc%02d:%02d",
                      t.wMonth, t.wDay, t.wYear, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                      static_cast<wint_t>(biasMinutes <= 0 ? L'+' : L'-'),
                      static_cast<int>(magnitude / 60), static_cast<int>(magnitude % 60));
}

void AppendNumber(std::wstring& text, DWORD value) {
    text += std::to_wstring(value);
}

}  // namespace

DWORD EffectiveSeverity(DWORD severityArgument, DWORD overrideValue) {
    DWORD severity = severityArgument & 0xFF;
    const DWORD mode = ModeField(severityArgument, overrideValue);
    if (mode == kAgentLogAllAsTrace) {
        return kTraceSeverity;
    }
    if (mode == kAgentLogErrorsAsInformation && severity < 2) {
        severity = kInformationSeverity;
    }
    if (severity == 0) {
        return 1;
    }
    return severity > kHighestSeverity ? kHighestSeverity : severity;
}

DWORD EffectiveFlags(DWORD severityArgument, DWORD overrideValue) {
    const DWORD source = overrideValue == kNoAgentLogOverride ? severityArgument : overrideValue;
    return source & kAgentLogFlagsMask;
}

bool PassesFilter(DWORD severity, DWORD registryMask, DWORD overrideValue) {
    const DWORD extra =
        overrideValue == kNoAgentLogOverride ? 0 : overrideValue & kAgentLogExtraSeverityMask;
    return ((registryMask | extra) & severity) != 0;
}

const wchar_t* SeverityName(DWORD severity) {
    switch (severity) {
        case 1:
            return L"*ERRR";
        case 2:
            return L"*WARN";
        case 4:
            return L" INFO";
        case 8:
            return L"<TRC>";
        case 16:
            return L"<VRB>";
        case 32:
            return L"<DBG>";
        default:
            return L"?UNKN";
    }
}

const std::string& CAgentLogRecord::Build(const AgentLogEvent& event) {
    m_text.clear();
    m_text += L"\r\n<event date='";
    m_text += FormatDate(event.localTime, event.biasMinutes);
    m_text += L"' severity='";
    AppendNumber(m_text, event.severity);
    m_text += L"' hostName='";
    m_text += event.hostName;
    m_text += L"' source='";
    AppendEscapedSource(event.source);
    m_text += L"' module='";
    m_text += event.moduleName;
    m_text += L"' process='";
    m_text += event.processName;
    m_text += L"' pid='";
    AppendNumber(m_text, event.processId);
    m_text += L"' thread='";
    AppendNumber(m_text, event.threadId);
    m_text += L"' tickCount='";
    AppendNumber(m_text, event.tickCount & 0x7FFFFFFF);
    m_text += L"' >\r\n  <![CDATA[";
    AppendEscapedMessage(event.message);
    m_text += L"]]>\r\n</event>";
    m_utf8 = WideToUtf8(m_text);
    return m_utf8;
}

void CAgentLogRecord::AppendEscapedSource(const wchar_t* source) {
    AppendXmlEscaped(m_text, source == nullptr ? L"" : source);
}

// Line feeds get their carriage return; a "]]" followed by '&' or '>' is escaped so that
// nothing inside the message can close its CDATA section.
void CAgentLogRecord::AppendEscapedMessage(const wchar_t* message) {
    const std::wstring_view text(message == nullptr ? L"" : message);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\n' && (i == 0 || text[i - 1] != L'\r')) {
            m_text += L'\r';
        }
        m_text += c;
        if (c == L']' && i >= 1 && text[i - 1] == L']' && i + 1 < text.size()) {
            if (text[i + 1] == L'&') {
                m_text += L"&amp;";
                ++i;
            } else if (text[i + 1] == L'>') {
                m_text += L"&gt;";
                ++i;
            }
        }
    }
}
