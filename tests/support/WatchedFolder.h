// The folder the folder-watch tests watch, in a temporary folder of its own.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/FolderWatch.h"
#include "platform/WideText.h"
#include "support/TempFolder.h"

// A watched folder holding "a.xml" and a subfolder "sub" with "inner.xml".
class WatchedFolder {
public:
    WatchedFolder() {
        WriteBytes(m_folder / L"a.xml", "<Task/>");
        std::filesystem::create_directory(Path(L"sub"));
        WriteBytes(m_folder / L"sub/inner.xml", "<Task/>");
        m_watch = FolderWatch::Open(m_folder.Path());
    }

    std::filesystem::path Path(const wchar_t* name) const { return WideToUtf8(m_folder / name); }
    std::wstring WidePath(const wchar_t* name) const { return m_folder / name; }
    FolderWatch* Watch() const { return m_watch.get(); }

private:
    TempFolder m_folder;
    std::unique_ptr<FolderWatch> m_watch;
};
