// Splitting a command line into a program and its arguments, by the quoting rules of the
// POSIX shell and nothing else: no variables, globbing, tilde, redirection or command
// separators, so a task document's command line means the same thing whatever it contains.
// Pure and thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Blanks (space, tab, line feed, carriage return) separate words. Inside single quotes every
// character stands for itself; inside double quotes a backslash escapes only " \ $ ` and a line
// feed; outside quotes a backslash escapes any character. A backslash before a line feed
// removes both. "" and '' make an empty word. nullopt for an unterminated quote or a trailing
// backslash.
std::optional<std::vector<std::wstring>> SplitCommandLine(std::wstring_view commandLine);
