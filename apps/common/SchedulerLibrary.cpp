#include "common/SchedulerLibrary.h"

#include <memory>
#include <optional>
#include <vector>

#include "ZynTaskSchedulerLib/Registry.h"
#include "common/AppFailure.h"
#include "common/AutomationCall.h"
#include "platform/FileSystem.h"
#include "platform/GuidText.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"
#include "platform/ServerLibrary.h"

namespace {

constexpr wchar_t kLibraryName[] = L"ZynTaskSchedulerLib";

bool IsFile(const std::wstring& path) {
    FileStatus status;
    return QueryFileStatus(path, status, true) == ERROR_SUCCESS && status.isRegularFile;
}

std::wstring ClassKeyPath(REFCLSID clsid) {
    return L"CLSID\\" + GuidText(clsid) + L"\\InprocServer32";
}

std::optional<std::wstring> RegisteredServerFile(REFCLSID clsid) {
    HKEY key{};
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ClassKeyPath(clsid).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<BYTE> data(4096);
    DWORD type = 0;
    auto size = static_cast<DWORD>(data.size());
    const LSTATUS status = RegQueryValueExW(key, nullptr, nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    return RegStringText(data.data(), size);
}

}  // namespace

SchedulerLibrary SchedulerLibrary::BesideProgram() {
    const std::wstring programFolder = ParentPath(CurrentProcessImagePath());
    const std::wstring fileName = SharedLibrary::FileName(kLibraryName);
    const std::wstring beside = JoinPath(programFolder, fileName);
    const std::wstring installed = JoinPath(JoinPath(ParentPath(programFolder), L"lib"), fileName);
    return SchedulerLibrary(IsFile(beside) || !IsFile(installed) ? beside : installed);
}

bool SchedulerLibrary::IsRegistered() const {
    return RegisteredServerFile(CLSID_ZynTaskScheduler) == m_file;
}

void SchedulerLibrary::Register() const {
    CallRegistrationEntry(true);
}

void SchedulerLibrary::Unregister() const {
    CallRegistrationEntry(false);
}

void SchedulerLibrary::EnsureRegistered() const {
    if (!IsRegistered()) {
        Register();
    }
}

ComPtr<IZynTaskScheduler> SchedulerLibrary::CreateScheduler() const {
    ComPtr<IZynTaskScheduler> scheduler;
    CheckCall(
        CoCreateInstance(CLSID_ZynTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IZynTaskScheduler, reinterpret_cast<void**>(scheduler.Receive())),
        L"creating the scheduler from " + m_file);
    return scheduler;
}

void SchedulerLibrary::CallRegistrationEntry(bool registering) const {
    std::unique_ptr<CServerLibrary> library;
    CheckCall(CServerLibrary::Load(m_file, library), L"loading " + m_file);
    CheckCall(registering ? library->RegisterServer() : library->UnregisterServer(),
              (registering ? L"registering " : L"unregistering ") + m_file);
}
