#include "tasks/RunRecordFile.h"

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/WideText.h"
#include "support/Folders.h"

namespace {

constexpr wchar_t kRootName[] = L"RunRecords";
// Fifty records with their whole output tails, in base64, come to about 1.1 MB.
constexpr std::size_t kMaximumFileBytes = 4 * 1024 * 1024;

XmlDocument EmptyList() {
    XmlDocument document;
    std::wstring reason;
    document.Load(L"<RunRecords/>", reason);
    return document;
}

}  // namespace

RunRecordFile::RunRecordFile(std::wstring_view logFolder, std::wstring_view identity)
    : m_folder(logFolder),
      m_path(JoinPath(logFolder, std::wstring(identity) + kRunRecordsExtension)) {}

bool RunRecordFile::Add(std::span<const RunRecord> records) {
    const XmlDocument kept = Load(kKeptRunRecords);
    XmlDocument updated = EmptyList();
    const XmlNode list = updated.DocumentElement();
    std::size_t count = 0;
    for (auto record = records.rbegin(); record != records.rend() && count < kKeptRunRecords;
         ++record, ++count) {
        AppendRunRecord(list, *record);
    }
    for (const XmlNode& run : kept.DocumentElement().ChildElements()) {
        if (count++ == kKeptRunRecords) {
            break;
        }
        list.AppendCopy(run);
    }
    if (!CreateDirectoryPath(m_folder, kDefaultFolderMode, true)) {
        return false;
    }
    const std::string bytes = WideToUtf8(updated.Serialize());
    if (const DWORD error = ReplaceFileAtomically(m_path, {bytes}, false); error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    return true;
}

std::vector<RunRecord> RunRecordFile::Read(std::size_t count) const {
    const XmlDocument document = Load(count);
    std::vector<RunRecord> records;
    for (const XmlNode& run : document.DocumentElement().ChildElements()) {
        records.push_back(ReadRunRecord(run));
    }
    return records;
}

std::wstring RunRecordFile::ReadDocument(std::size_t count) const {
    return Load(count).Serialize();
}

bool RunRecordFile::Remove() const {
    const DWORD error = RemoveFile(m_path);
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND;
}

XmlDocument RunRecordFile::Load(std::size_t count) const {
    std::string bytes;
    XmlDocument document;
    std::wstring reason;
    const std::optional<std::wstring> text =
        ReadRegularFile(m_path, bytes, kMaximumFileBytes) == ERROR_SUCCESS ? Utf8ToWide(bytes)
                                                                           : std::nullopt;
    if (!text || !document.Load(*text, reason) || document.DocumentElement().Name() != kRootName) {
        return EmptyList();
    }
    std::size_t seen = 0;
    for (const XmlNode& run : document.DocumentElement().ChildElements()) {
        if (run.Name() != L"Run" || seen++ >= count) {
            run.Remove();
        }
    }
    return document;
}
