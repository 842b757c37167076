#include "platform/ProcessAccount.h"

#include "platform/KernelHandle.h"

ProcessAccount ProcessAccount::Current() {
    ProcessAccount account;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return account;
    }
    const KernelHandle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        return account;
    }
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    const DWORD length = ::GetLengthSid(sid);
    account.m_sid.assign(static_cast<const BYTE*>(sid), static_cast<const BYTE*>(sid) + length);
    return account;
}

std::uint32_t ProcessAccount::Id() const {
    return IsKnown() ? AccountIdOf(Sid()) : 0;
}

std::uint32_t AccountIdOf(PSID sid) {
    if (sid == nullptr || !::IsValidSid(sid)) {
        return 0;
    }
    const UCHAR count = *::GetSidSubAuthorityCount(sid);
    return count == 0 ? 0 : *::GetSidSubAuthority(sid, count - 1u);
}
