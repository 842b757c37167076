#include "platform/ProcessAccount.h"

#include <map>
#include <mutex>

#include "platform/KernelHandle.h"

namespace {

// Ids of other accounts start here, clear of the system accounts' id.
constexpr std::uint32_t kFirstAccountId = 1000;

bool IsSystemAccount(PSID sid) {
    return ::IsWellKnownSid(sid, WinLocalSystemSid) ||
           ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

}  // namespace

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
    return IsKnown() ? AccountIdOf(Sid()) : kNoAccountId;
}

std::uint32_t AccountIdOf(PSID sid) {
    if (sid == nullptr || !::IsValidSid(sid)) {
        return kNoAccountId;
    }
    if (IsSystemAccount(sid)) {
        return kSystemAccountsId;
    }
    static std::mutex lock;
    static std::map<std::vector<BYTE>, std::uint32_t> ids;
    const auto* bytes = static_cast<const BYTE*>(sid);
    std::vector<BYTE> key(bytes, bytes + ::GetLengthSid(sid));
    const std::lock_guard<std::mutex> held(lock);
    const auto [entry, added] =
        ids.try_emplace(std::move(key), kFirstAccountId + static_cast<std::uint32_t>(ids.size()));
    return entry->second;
}
