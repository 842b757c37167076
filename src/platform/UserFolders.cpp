#include "platform/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/Path.h"
#include "platform/WideText.h"

namespace {

// A variable that names an absolute path; empty otherwise.
std::wstring EnvironmentPath(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? Utf8ToWideLossy(value) : std::wstring();
}

std::wstring HomeFolder() {
    std::wstring home = EnvironmentPath("HOME");
    if (!home.empty()) {
        return home;
    }
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return Utf8ToWideLossy(found->pw_dir);
    }
    return L"/";
}

bool IsRoot() {
    return ::geteuid() == 0;
}

}  // namespace

std::wstring AgentStateFolder() {
    if (IsRoot()) {
        return L"/var/lib/zyntask";
    }
    std::wstring state = EnvironmentPath("XDG_STATE_HOME");
    if (state.empty()) {
        state = JoinPath(HomeFolder(), L".local/state");
    }
    return JoinPath(state, L"zyntask");
}

std::wstring AgentLogFolder() {
    return IsRoot() ? L"/var/log/zyntask" : JoinPath(AgentStateFolder(), L"logs");
}

std::wstring TemporaryFolder() {
    const char* value = std::getenv("TMPDIR");
    return value != nullptr && *value != '\0' ? Utf8ToWideLossy(value) : L"/tmp";
}
