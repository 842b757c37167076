// Tests that need a second process run their own test program again in a named role. A role
// is a function registered with ZYN_CHILD_ROLE; the test main runs it instead of the tests
// when the program is started with "--zyn-child=<role>", and its result is the exit status.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* kChildRoleSwitch = "--zyn-child=";
// Follows the role's name when the child should not keep root (see ChildProcess).
inline constexpr const char* kChildUnprivilegedSwitch = "--zyn-unprivileged";

using ChildRoleFunction = int (*)(const std::vector<std::string>& args);

struct ChildRoleRegistration {
    ChildRoleRegistration(const char* name, ChildRoleFunction function);
};

#define ZYN_CHILD_ROLE(name)                                                     \
    static int name##_Role(const std::vector<std::string>& args);                \
    static const ChildRoleRegistration name##_registration(#name, &name##_Role); \
    static int name##_Role([[maybe_unused]] const std::vector<std::string>& args)

// Runs a registered role when argv asks for one; false when argv is a normal test run.
bool RunChildRoleIfRequested(int argc, char** argv, int& exitCode);

// Gives up root for the "nobody" account when the process has it; false when it cannot.
bool DropRootForChildRole();
