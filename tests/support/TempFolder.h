// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes.
#pragma once

#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const;

private:
    std::wstring m_path;
};

// Writes raw bytes to a file, replacing it; reads a file's raw bytes. Both fail the calling
// test through an exception when the file cannot be reached.
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
