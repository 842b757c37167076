#include "platform/UserFolders.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/Path.h"
#include "platform/WideText.h"

namespace {

std::wstring Variable(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::wstring() : Utf8ToWideLossy(value);
}

bool IsRoot() {
    return ::geteuid() == 0;
}

}  // namespace

std::wstring AgentStateFolder() {
    if (IsRoot()) {
        return L"/var/lib/zyntask";
    }
    const std::wstring xdgState = Variable("XDG_STATE_HOME");
    if (!xdgState.empty()) {
        return JoinPath(xdgState, L"zyntask");
    }
    const std::wstring home = Variable("HOME");
    return home.empty() ? std::wstring() : JoinPath(home, L".local/state/zyntask");
}

std::wstring AgentLogFolder() {
    if (IsRoot()) {
        return L"/var/log/zyntask";
    }
    const std::wstring state = AgentStateFolder();
    return state.empty() ? state : JoinPath(state, L"logs");
}

std::wstring TemporaryFolder() {
    const std::wstring temporary = Variable("TMPDIR");
    return temporary.empty() ? L"/tmp" : temporary;
}
