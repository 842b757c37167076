// The agent's folders under the common application-data folder, the one every account of the
// machine reads and the agent's services write.
#include "platform/UserFolders.h"

#include <windows.h>
// (after windows.h, which it needs)
#include <shlobj.h>

#include "platform/Path.h"

namespace {

std::wstring CommonApplicationData() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(
            ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return L"C:\\ProgramData";
    }
    return path;
}

}  // namespace

std::wstring AgentStateFolder() {
    return JoinPath(CommonApplicationData(), L"Brontell\\Brontell Agent");
}

std::wstring AgentLogFolder() {
    return JoinPath(AgentStateFolder(), L"Logs");
}

std::wstring TemporaryFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
    std::wstring folder(path, length <= MAX_PATH ? length : 0);
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    return folder.empty() ? std::wstring(L"C:\\TEMP") : folder;
}
