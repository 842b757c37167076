#include "platform/ObjectAccess.h"

#include <aclapi.h>
#include <sddl.h>

#include "platform/ProcessAccount.h"

namespace {

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) {
        return {};
    }
    std::wstring result(text);
    ::LocalFree(text);
    return result;
}

}  // namespace

std::optional<ObjectAccess> ObjectAccess::ForFolder(std::wstring_view folder) {
    FileStatus status;
    if (const DWORD error = QueryFileStatus(folder, status, true); error != ERROR_SUCCESS) {
        ::SetLastError(error);
        return std::nullopt;
    }
    if (!status.isDirectory) {
        ::SetLastError(ERROR_DIRECTORY);
        return std::nullopt;
    }
    // Protected (nothing inherited): full access for SYSTEM, Administrators and this account.
    // The owner is named, so that it is this account whatever the token's default owner is (a
    // group, under Wine), and AdmitsKernelObject trusts what this process made.
    std::wstring descriptor = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";
    const ProcessAccount account = ProcessAccount::Current();
    if (account.IsKnown()) {
        const std::wstring sid = SidText(account.Sid());
        descriptor = L"O:" + sid + descriptor + L"(A;;GA;;;" + sid + L")";
    }
    return ObjectAccess(std::move(descriptor), status.ownerId);
}

bool ObjectAccess::Admits(const FileStatus& object) const {
    return object.isRegularFile && IsTrustedOwner(object.ownerId);
}

bool ObjectAccess::AdmitsKernelObject(void* object) const {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool trusted = IsTrustedOwner(AccountIdOf(owner));
    ::LocalFree(descriptor);
    return trusted;
}

bool ObjectAccess::IsTrustedOwner(std::uint32_t ownerId) const {
    return ownerId != kNoAccountId &&
           (ownerId == kSystemAccountsId || ownerId == ProcessAccount::Current().Id() ||
            ownerId == m_owner);
}
