// The fixed names inside a work folder, which tools beside the scheduler rely on: the lock
// folder and file that make one scheduler the runner of the folder (the file holds the
// holder's process id), the folder of the task logs and run records, and the folder invalid
// task documents are moved to. A task document is the task's identity followed by ".xml", and
// so is its log in the log folder; its run records there are the identity followed by ".runs".
#pragma once

inline constexpr wchar_t kWorkFolderLockFolderName[] = L"ZynTaskSchedulerLock";
inline constexpr wchar_t kWorkFolderLockFileName[] = L"taskSchedulerLock.tmp";
inline constexpr wchar_t kWorkFolderLogsFolderName[] = L"Logs";
inline constexpr wchar_t kTaskDocumentExtension[] = L".xml";
inline constexpr wchar_t kRunRecordsExtension[] = L".runs";
