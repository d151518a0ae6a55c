// Processes: the single-instance check.
#pragma once

#include <string>

namespace kestrune {

// File name of the agent's executable as the process list shows it
// ("Kestrune.exe" on Windows, "kestrune" elsewhere).
const char* agentExecutableName();

// Number of running processes whose executable's base name equals `name`,
// compared case-sensitively (this process included); -1 when the process
// list cannot be read.
int countProcessesNamed(const char* name);

// The single-instance check: a lock that only an agent takes, held until the
// process ends (a command-line client of the same executable never takes
// it, whatever moment of its start-up it is caught in). 1 taken; 0 held by
// another agent of this user, with `why`; -1 with `why` when it cannot be
// made at all. On Linux a lock file in each of /run/user/UID (a folder of
// the user's own), $XDG_RUNTIME_DIR and $HOME/.cache/kestrune, so that
// agents started with and without a session's environment meet; on Windows
// a mutex of the logon session.
int takeAgentLock(std::string* why);

}  // namespace kestrune
