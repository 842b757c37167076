// The account the process acts as (its token's user), and the short id of an account that file
// owners and the process are compared by. Ids are handed out per process, one for each distinct
// security identifier seen, so two accounts compare equal only when their whole identifiers do
// (accounts of different domains share relative identifiers). The system's own accounts, the
// local system and the Administrators, share id 0, the id of the account every check trusts.
// Windows only. A plain value; thread-safe.
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

inline constexpr std::uint32_t kSystemAccountsId = 0;

// The short id of `sid`; kNoAccountId for none or an invalid one.
inline constexpr std::uint32_t kNoAccountId = 0xFFFFFFFF;
std::uint32_t AccountIdOf(PSID sid);
