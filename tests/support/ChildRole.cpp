#include "support/ChildRole.h"

#include <cstring>
#include <map>

namespace {

std::map<std::string, ChildRoleFunction>& Roles() {
    static std::map<std::string, ChildRoleFunction> roles;
    return roles;
}

}  // namespace

ChildRoleRegistration::ChildRoleRegistration(const char* name, ChildRoleFunction function) {
    Roles()[name] = function;
}

bool RunChildRoleIfRequested(int argc, char** argv, int& exitCode) {
    if (argc < 2 || std::strncmp(argv[1], kChildRoleSwitch, std::strlen(kChildRoleSwitch)) != 0) {
        return false;
    }
    const auto role = Roles().find(argv[1] + std::strlen(kChildRoleSwitch));
    if (role == Roles().end()) {
        exitCode = 125;
        return true;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    if (!args.empty() && args.front() == kChildUnprivilegedSwitch) {
        args.erase(args.begin());
        if (!DropRootForChildRole()) {
            exitCode = 126;
            return true;
        }
    }
    exitCode = role->second(args);
    return true;
}
