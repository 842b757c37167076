// The file-system calls over the Windows file API. Permission bits do not exist here: a mode
// stands for what the read-only attribute says (owner write or not), and new files and folders
// take the access their folder passes on. Handles are opened without inheritance.
#include "platform/FileSystem.h"

#include <windows.h>
// (after windows.h, which it needs)
#include <aclapi.h>

#include <chrono>
#include <memory>
#include <random>

#include "platform/KernelHandle.h"
#include "platform/Path.h"
#include "platform/ProcessAccount.h"
#include "platform/TemporaryFile.h"

namespace {

// 100-nanosecond intervals from 1 January 1601 to 1 January 1970.
constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring SystemPath(std::wstring_view path) {
    return std::wstring(path);
}

std::int64_t NanosecondsSince1970(std::int64_t ticksSince1601) {
    return (ticksSince1601 - kUnixEpochTicks) * 100;
}

std::int64_t NanosecondsSince1970(const FILETIME& time) {
    const auto ticks = (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return NanosecondsSince1970(ticks);
}

std::uint32_t ModeOf(DWORD attributes) {
    const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::uint32_t mode = directory ? kDefaultFolderMode : kDefaultFileMode;
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? mode & ~0222u : mode;
}

void FillFromAttributes(DWORD attributes, std::uint64_t size, const FILETIME& written,
                        FileStatus& status) {
    status.isSymbolicLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    status.isDirectory = !status.isSymbolicLink && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status.isRegularFile =
        !status.isSymbolicLink && !status.isDirectory && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
    status.ownerWritable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    status.mode = ModeOf(attributes);
    status.size = size;
    status.modifiedNanoseconds = NanosecondsSince1970(written);
    status.changedNanoseconds = status.modifiedNanoseconds;
}

// The identity, change time and owner that only an open handle tells.
void FillFromHandle(HANDLE file, FileStatus& status) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileInformationByHandle(file, &information)) {
        status.fileId = (static_cast<std::uint64_t>(information.dwVolumeSerialNumber) << 48) ^
                        ((static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                         information.nFileIndexLow);
    }
    FILE_BASIC_INFO basic{};
    if (::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        status.changedNanoseconds = NanosecondsSince1970(basic.ChangeTime.QuadPart);
    }
    // An owner that cannot be read is nobody's, so that no check trusts the file.
    status.ownerId = kNoAccountId;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) == ERROR_SUCCESS) {
        status.ownerId = AccountIdOf(owner);
        ::LocalFree(descriptor);
    }
}

// Opens the entry itself (a link, not what it names, unless `followLinks`), folders included.
KernelHandle OpenEntry(const std::wstring& path, DWORD access, bool followLinks) {
    const DWORD flags =
        FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return KernelHandle(
        ::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr));
}

DWORD QueryHandleStatus(HANDLE file, FileStatus& status) {
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) ||
        !::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard)) {
        return ::GetLastError();
    }
    FILETIME written{basic.LastWriteTime.LowPart, static_cast<DWORD>(basic.LastWriteTime.HighPart)};
    FillFromAttributes(basic.FileAttributes,
                       static_cast<std::uint64_t>(standard.EndOfFile.QuadPart), written, status);
    status.isRegularFile = status.isRegularFile && ::GetFileType(file) == FILE_TYPE_DISK;
    FillFromHandle(file, status);
    return ERROR_SUCCESS;
}

DWORD WriteAll(HANDLE file, std::string_view data) {
    while (!data.empty()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
        if (!::WriteFile(file, data.data(), chunk, &written, nullptr)) {
            return ::GetLastError();
        }
        data.remove_prefix(written);
    }
    return ERROR_SUCCESS;
}

std::wstring RandomSuffix() {
    static constexpr wchar_t kLetters[] =
        L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kLetters) - 2);
    std::wstring suffix(L".");
    for (std::size_t i = 1; i < kTemporarySuffixLength; ++i) {
        suffix += kLetters[pick(generator)];
    }
    return suffix;
}

// A new temporary beside `path`, open for writing and shared with nobody until it is closed:
// the closed share is what tells a folder scan that its writer is still at work.
KernelHandle CreateTemporary(std::wstring_view path, std::wstring& temporary, DWORD& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = JoinPath(ParentPath(path), L"." + BaseName(path) + RandomSuffix());
        KernelHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.IsValid()) {
            return file;
        }
        error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            return {};
        }
    }
    return {};
}

}  // namespace

DWORD QueryFileStatus(std::wstring_view path, FileStatus& status, bool followLinks) {
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    const KernelHandle file =
        OpenEntry(SystemPath(path), FILE_READ_ATTRIBUTES | READ_CONTROL, followLinks);
    if (!file.IsValid()) {
        return ::GetLastError();
    }
    return QueryHandleStatus(file.Get(), status);
}

DWORD ReadRegularFile(std::wstring_view path, std::string& bytes, std::size_t maxBytes) {
    const KernelHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ | READ_CONTROL,
                                          kShareAll, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsValid()) {
        const DWORD error = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(SystemPath(path).c_str());
        const bool isFolder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return error == ERROR_ACCESS_DENIED && isFolder ? ERROR_FILE_INVALID : error;
    }
    FileStatus status;
    if (const DWORD error = QueryHandleStatus(file.Get(), status); error != ERROR_SUCCESS) {
        return error;
    }
    if (!status.isRegularFile || status.size > maxBytes) {
        return ERROR_FILE_INVALID;
    }
    std::string content(static_cast<std::size_t>(status.size), '\0');
    std::size_t filled = 0;
    while (filled < content.size()) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), content.data() + filled,
                        static_cast<DWORD>(content.size() - filled), &got, nullptr)) {
            return ::GetLastError();
        }
        if (got == 0) {
            return ERROR_HANDLE_EOF;  // shrank while read: a short read
        }
        filled += got;
    }
    bytes = std::move(content);
    return ERROR_SUCCESS;
}

DWORD ReplaceFileAtomically(std::wstring_view path, const std::vector<std::string_view>& parts,
                            bool durable) {
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    std::wstring temporary;
    DWORD error = ERROR_SUCCESS;
    KernelHandle file = CreateTemporary(path, temporary, error);
    if (!file.IsValid()) {
        return error;
    }
    for (std::string_view part : parts) {
        if (error = WriteAll(file.Get(), part); error != ERROR_SUCCESS) {
            break;
        }
    }
    if (error == ERROR_SUCCESS && durable && !::FlushFileBuffers(file.Get())) {
        error = ::GetLastError();
    }
    file.Reset();
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (error == ERROR_SUCCESS &&
        !::MoveFileExW(temporary.c_str(), SystemPath(path).c_str(), flags)) {
        error = ::GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        ::DeleteFileW(temporary.c_str());
    }
    return error;
}

bool IsAbandonedTemporary(std::wstring_view folder, std::wstring_view name) {
    if (!IsTemporaryName(name)) {
        return false;
    }
    // Only a writer that is gone leaves the file open to everyone.
    const KernelHandle file(::CreateFileW(JoinPath(folder, name).c_str(), GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FileStatus status;
    if (!file.IsValid() || QueryHandleStatus(file.Get(), status) != ERROR_SUCCESS ||
        !status.isRegularFile) {
        return false;
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto age = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() -
                     status.modifiedNanoseconds;
    return age > kTemporaryGraceNanoseconds;
}

DWORD AppendToFile(std::wstring_view path, std::string_view data, std::uint32_t /*mode*/) {
    // Appending access writes each call at the end as one piece.
    const KernelHandle file(::CreateFileW(SystemPath(path).c_str(), FILE_APPEND_DATA, kShareAll,
                                          nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
    if (!file.IsValid()) {
        return ::GetLastError();
    }
    return WriteAll(file.Get(), data);
}

DWORD RenameNoReplace(std::wstring_view from, std::wstring_view to) {
    if (!::MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(), 0)) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error;
    }
    return ERROR_SUCCESS;
}

DWORD RenameFile(std::wstring_view from, std::wstring_view to) {
    return ::MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING)
               ? ERROR_SUCCESS
               : ::GetLastError();
}

DWORD MakeDirectory(std::wstring_view path, std::uint32_t /*mode*/) {
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    return ::CreateDirectoryW(SystemPath(path).c_str(), nullptr) ? ERROR_SUCCESS : ::GetLastError();
}

DWORD RemoveEmptyDirectory(std::wstring_view path) {
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    return ::RemoveDirectoryW(SystemPath(path).c_str()) ? ERROR_SUCCESS : ::GetLastError();
}

DWORD RemoveFile(std::wstring_view path) {
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    return ::DeleteFileW(SystemPath(path).c_str()) ? ERROR_SUCCESS : ::GetLastError();
}

DWORD TouchFile(std::wstring_view path) {
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    const KernelHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, kShareAll,
                                          nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
    return file.IsValid() ? ERROR_SUCCESS : ::GetLastError();
}

namespace {

struct FindCloser {
    void operator()(HANDLE find) const { ::FindClose(find); }
};

// Calls `visit(entry)` for every entry but "." and "..".
template <class Visit>
DWORD VisitDirectory(std::wstring_view path, Visit visit) {
    WIN32_FIND_DATAW entry{};
    const HANDLE found = ::FindFirstFileExW(JoinPath(path, L"*").c_str(), FindExInfoBasic, &entry,
                                            FindExSearchNameMatch, nullptr, 0);
    if (found == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    const std::unique_ptr<void, FindCloser> closer(found);
    do {
        const std::wstring_view name(entry.cFileName);
        if (name != L"." && name != L"..") {
            visit(entry);
        }
    } while (::FindNextFileW(found, &entry));
    const DWORD error = ::GetLastError();
    return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
}

}  // namespace

DWORD ListDirectory(std::wstring_view path, std::vector<DirectoryEntry>& entries) {
    entries.clear();
    return VisitDirectory(path, [&](const WIN32_FIND_DATAW& entry) {
        const bool isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                 (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        entries.push_back({entry.cFileName, isDirectory});
    });
}

DWORD ListDirectoryWithStatus(std::wstring_view path, std::vector<DirectoryEntryStatus>& entries) {
    entries.clear();
    return VisitDirectory(path, [&](const WIN32_FIND_DATAW& entry) {
        DirectoryEntryStatus& added = entries.emplace_back();
        added.name = entry.cFileName;
        const std::uint64_t size =
            (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        FillFromAttributes(entry.dwFileAttributes, size, entry.ftLastWriteTime, added.status);
        const KernelHandle file =
            OpenEntry(JoinPath(path, added.name), FILE_READ_ATTRIBUTES | READ_CONTROL, false);
        added.hasStatus = file.IsValid();
        if (added.hasStatus) {
            FillFromHandle(file.Get(), added.status);
        }
    });
}

DWORD MakeOwnerWritable(std::wstring_view path) {
    const std::wstring systemPath = SystemPath(path);
    const DWORD attributes = ::GetFileAttributesW(systemPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return ::GetLastError();
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return ERROR_SUCCESS;
    }
    return ::SetFileAttributesW(systemPath.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)
               ? ERROR_SUCCESS
               : ::GetLastError();
}

DWORD TakeOwnership(std::wstring_view path) {
    const ProcessAccount account = ProcessAccount::Current();
    if (!account.IsKnown()) {
        return ERROR_ACCESS_DENIED;
    }
    std::wstring systemPath = SystemPath(path);
    const DWORD error =
        ::SetNamedSecurityInfoW(systemPath.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                account.Sid(), nullptr, nullptr, nullptr);
    return error == ERROR_SUCCESS ? MakeOwnerWritable(path) : error;
}

bool IsTransientFileError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION;
}
