// zyntask: the command-line client of the scheduler.
#include <cstdio>
#include <cstring>
#include <string>

#include "common/AppFailure.h"
#include "common/ComRuntime.h"
#include "platform/WideText.h"
#include "zyntask/ClientCommands.h"

namespace {

void PrintUsage(std::FILE* stream) {
    std::fputs(
        "usage: zyntask [--work-folder DIR] COMMAND [ARGUMENTS]\n"
        "Drives the scheduled tasks of a work folder (DIR, or the one in the scheduler's\n"
        "settings; ZYN_REGISTRY names the settings' folder).\n\n"
        "commands:\n",
        stream);
    for (const ClientCommand& command : ClientCommands()) {
        std::fprintf(stream, "  %-11s %s\n", command.name, command.summary);
    }
    std::fputs("\nzyntask COMMAND --help shows the arguments of one command.\n", stream);
}

const ClientCommand* FindCommand(const std::wstring& name) {
    for (const ClientCommand& command : ClientCommands()) {
        if (Utf8ToWideLossy(command.name) == name) {
            return &command;
        }
    }
    return nullptr;
}

int RunCommand(ArgumentList& arguments) {
    ClientContext context{SchedulerLibrary::BesideProgram(), arguments.TakeFolder("work-folder")};
    const bool help = arguments.TakeFlag("help");
    const std::optional<std::wstring> name = arguments.TakePositional();
    if (!name) {
        PrintUsage(help ? stdout : stderr);
        return help ? 0 : kUsageExitStatus;
    }
    const ClientCommand* command = FindCommand(*name);
    if (command == nullptr) {
        ThrowUsage(L"unknown command " + *name);
    }
    if (help) {
        std::printf("usage: zyntask [--work-folder DIR] %s %s\n%s\n", command->name,
                    command->synopsis, command->summary);
        return 0;
    }
    const ComRuntime runtime;
    return command->run(arguments, context);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        ArgumentList arguments(argc, argv, 1);
        return RunCommand(arguments);
    } catch (const AppFailure& failure) {
        std::fprintf(stderr, "zyntask: %s\n", WideToUtf8(failure.message).c_str());
        if (failure.exitStatus == kUsageExitStatus) {
            std::fputs("Try zyntask --help.\n", stderr);
        }
        return failure.exitStatus;
    }
}
