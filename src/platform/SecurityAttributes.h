// Security attributes built from a descriptor's string form, for the calls that create named
// objects. Windows only. The attributes are not inherited by started programs. One owner.
#pragma once

#include <windows.h>

#include <string>

class SecurityAttributes {
public:
    // Empty (Get answers null) when `descriptor` cannot be read; the last-error value says why.
    explicit SecurityAttributes(const std::wstring& descriptor);
    ~SecurityAttributes();
    SecurityAttributes(const SecurityAttributes&) = delete;
    SecurityAttributes& operator=(const SecurityAttributes&) = delete;

    SECURITY_ATTRIBUTES* Get() {
        return m_attributes.lpSecurityDescriptor != nullptr ? &m_attributes : nullptr;
    }

private:
    SECURITY_ATTRIBUTES m_attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};
