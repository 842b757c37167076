// The account the process acts as (its token's user), and the short id of an account that file
// owners and the process are compared by: the account's last relative identifier, which tells
// apart the accounts of one machine or domain. Windows only. A plain value; thread-safe.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

class ProcessAccount {
public:
    // The process's user; an unknown account (IsKnown false) when the token cannot be read.
    static ProcessAccount Current();

    bool IsKnown() const { return !m_sid.empty(); }
    PSID Sid() const { return const_cast<BYTE*>(m_sid.data()); }
    std::uint32_t Id() const;

private:
    std::vector<BYTE> m_sid;
};

// The short id of `sid`: its last relative identifier, 0 for none.
std::uint32_t AccountIdOf(PSID sid);
