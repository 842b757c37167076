// The words of a command line after the program's (and the subcommand's) name, taken one by
// one by the code that understands them: options with a value ("--name VALUE" or
// "--name=VALUE"), flags and positional words. Whatever nobody took is an error, so a typing
// mistake never passes silently. Usage errors throw AppFailure with exit status 2. One thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ZynTaskSchedulerLib/Types.h"

inline constexpr int kUsageExitStatus = 2;

class ArgumentList {
public:
    explicit ArgumentList(std::vector<std::string> words) : m_words(std::move(words)) {}
    ArgumentList(int argc, char** argv, int first);

    std::optional<std::wstring> TakeOption(std::string_view name);
    // A folder, made absolute against the current folder, without a trailing separator.
    std::optional<std::wstring> TakeFolder(std::string_view name);
    // A decimal number from `minimum` to `maximum`.
    std::optional<DWORD> TakeNumber(std::string_view name, DWORD minimum, DWORD maximum);
    // "on" or "off".
    std::optional<bool> TakeSwitch(std::string_view name);
    bool TakeFlag(std::string_view name);
    // The next word that is not an option.
    std::optional<std::wstring> TakePositional();
    std::wstring RequirePositional(std::string_view what);
    // Throws for the first word left over.
    void ExpectEnd() const;

private:
    std::vector<std::string> m_words;
};

// Throws the usage failure `message`.
[[noreturn]] void ThrowUsage(const std::wstring& message);
