// The folders the agent keeps its state and logs in, chosen by who runs the process: the
// system folders for root, the user's state folder for anyone else. Pure lookups of the
// environment and the process's identity; nothing is created here.
#pragma once

#include <string>

// /var/lib/zyntask for root; $XDG_STATE_HOME/zyntask (when it is an absolute path), else
// ~/.local/state/zyntask (the home folder from HOME or the account), for others.
std::wstring AgentStateFolder();
// /var/log/zyntask for root; the state folder's "logs" for others.
std::wstring AgentLogFolder();
// $TMPDIR when set and not empty, else /tmp.
std::wstring TemporaryFolder();
