// What ends a command-line program: one line for standard error and the exit status. Thrown by
// the programs' own code and caught once, in main.
#pragma once

#include <string>

struct AppFailure {
    std::wstring message;
    int exitStatus = 1;
};
