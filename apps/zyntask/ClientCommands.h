// The subcommands of zyntask. Each takes its own words from the argument list, works through
// the scheduler's automation interfaces, prints its answer on standard output and answers the
// exit status; failures throw AppFailure. Runs on the main thread with the object runtime up.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "common/ArgumentList.h"
#include "common/SchedulerLibrary.h"

// What every command may use: the library and the work folder named on the command line.
struct ClientContext {
    SchedulerLibrary library;
    std::optional<std::wstring> workFolder;
};

struct ClientCommand {
    const char* name;
    const char* synopsis;  // the arguments, as the usage shows them
    const char* summary;   // one line for the list of commands
    int (*run)(ArgumentList& arguments, ClientContext& context);
};

std::span<const ClientCommand> ClientCommands();
