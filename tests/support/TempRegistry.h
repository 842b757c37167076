// Points the registry at a fresh temporary root folder while it lives (the ZYN_REGISTRY
// variable, which child processes inherit), and back at whatever it named before. Make it
// before starting threads that read the environment.
#pragma once

#include <optional>
#include <string>

#include "support/TempFolder.h"

class TempRegistry {
public:
    TempRegistry();
    ~TempRegistry();
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    const std::wstring& Root() const { return m_folder.Path(); }
    // The file that holds one tree, as a person would open it.
    std::wstring TreeFile(const std::wstring& treeName) const;

private:
    TempFolder m_folder;
    std::optional<std::string> m_previous;
};
