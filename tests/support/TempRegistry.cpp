#include "support/TempRegistry.h"

#include <stdlib.h>

#include "platform/WideText.h"

TempRegistry::TempRegistry() {
    if (const char* previous = ::getenv("ZYN_REGISTRY")) {
        m_previous = previous;
    }
    ::setenv("ZYN_REGISTRY", WideToUtf8(m_folder.Path()).c_str(), 1);
}

TempRegistry::~TempRegistry() {
    if (m_previous) {
        ::setenv("ZYN_REGISTRY", m_previous->c_str(), 1);
    } else {
        ::unsetenv("ZYN_REGISTRY");
    }
}

std::wstring TempRegistry::TreeFile(const std::wstring& treeName) const {
    return m_folder / (treeName + L".reg");
}
