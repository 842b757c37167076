#include "zyntask/TaskTexts.h"

#include <cstdio>
#include <optional>

#include "ZynTaskSchedulerLib/Runtime.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "common/AppFailure.h"
#include "common/ArgumentList.h"
#include "platform/FileSystem.h"
#include "platform/MomentText.h"
#include "platform/SystemMessage.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"

namespace {

constexpr std::size_t kMaximumDocumentBytes = 1 << 20;

XmlDocument LoadDocument(const std::wstring& document) {
    XmlDocument xml;
    std::wstring reason;
    if (!xml.Load(document, reason)) {
        throw AppFailure{L"the task document is not XML: " + reason};
    }
    return xml;
}

}  // namespace

std::wstring ReadTaskDocument(const std::wstring& path) {
    std::string bytes;
    if (const DWORD error = ReadRegularFile(path, bytes, kMaximumDocumentBytes);
        error != ERROR_SUCCESS) {
        // Pipes, devices, links and oversized files are refused the way the scheduler refuses
        // them in its folder.
        throw AppFailure{L"cannot read " + path + L": " +
                         (error == ERROR_FILE_INVALID
                              ? std::wstring(L"not a regular file of at most 1 MiB")
                              : SystemMessageText(error))};
    }
    std::optional<std::wstring> text = DecodeFileText(bytes);
    if (!text) {
        throw AppFailure{path + L" is neither UTF-8 nor UTF-16 text"};
    }
    return *text;
}

bool IsTaskDocumentFile(const std::wstring& path) {
    FileStatus status;
    return QueryFileStatus(path, status, true) == ERROR_SUCCESS && !status.isDirectory;
}

std::wstring RunTimeText(DATE runTime) {
    WallTime wall = 0;
    return runTime == 0 || !WallTimeOfDate(runTime, wall) ? L"none" : WallTimeText(wall);
}

std::wstring RunTimeText(DATE runTime, LONG utcOffset) {
    WallTime wall = 0;
    return runTime == 0 || !WallTimeOfDate(runTime, wall)
               ? L"none"
               : WallTimeText(wall, std::int64_t{utcOffset} * 60);
}

DATE ParseRunTime(const std::wstring& text) {
    DATE date = 0;
    std::wstring parsed(text);  // the system's declaration takes the text as writable
    if (FAILED(VarDateFromStr(parsed.data(), 0, 0, &date))) {
        ThrowUsage(L"\"" + text + L"\" is not a time like \"2026-12-24 18:00:00\"");
    }
    return date;
}

std::wstring ScheduleName(const std::wstring& document) {
    const XmlDocument xml = LoadDocument(document);
    const XmlNode name = xml.SelectSingle(L"//Schedule/@Name");
    return name ? name.Text() : std::wstring();
}

std::vector<std::wstring> TriggerDescriptions(const std::wstring& document) {
    const XmlDocument xml = LoadDocument(document);
    std::vector<std::wstring> descriptions;
    if (const XmlNode task = xml.SelectSingle(L"//Task")) {
        for (const XmlNode& trigger : task.SelectAll(L".//Trigger")) {
            descriptions.push_back(trigger.Attribute(L"Description").Text());
        }
    }
    return descriptions;
}

std::string JsonString(std::wstring_view text) {
    std::string json = "\"";
    for (const char byte : WideToUtf8(text)) {
        const auto unit = static_cast<unsigned char>(byte);
        if (byte == '"' || byte == '\\') {
            json += '\\';
            json += byte;
        } else if (unit < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", unit);
            json += escaped;
        } else {
            json += byte;
        }
    }
    return json + "\"";
}
