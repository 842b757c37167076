// The files of the agent log in its folder: the current file, and the numbered files it is
// rotated into when it grows past its size limit ("Agent.log" becomes "Agent1.log", then the
// first free number), with the oldest numbered file deleted once the folder holds the largest
// allowed number of files. Callers serialise every use across processes (the agent log holds
// its named mutex); the object itself keeps only names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"

class CAgentLogFiles {
public:
    CAgentLogFiles(std::wstring folder, std::wstring fileName);

    const std::wstring& Folder() const { return m_folder; }
    const std::wstring& FilePath() const { return m_filePath; }

    // Makes room for the next record: when the current file is larger than `maxBytes`, rotates
    // it. False when the record must be dropped (the oldest file or the rename was refused).
    bool PrepareForWrite(std::uint64_t maxBytes, DWORD maxFiles);
    bool Append(std::string_view record);

private:
    struct Census {
        DWORD count = 0;
        std::wstring oldest;  // empty when only the current file matched
    };

    Census CountRotationFiles(DWORD maxFiles) const;
    bool RenameToFreeNumber();

    std::wstring m_folder;
    std::wstring m_stem;
    std::wstring m_extension;
    std::wstring m_filePath;
};
