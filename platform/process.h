// Processes: the single-instance check.
#pragma once

namespace kestrune {

// File name of the agent's executable as the process list shows it
// ("Kestrune.exe" on Windows, "kestrune" elsewhere).
const char* agentExecutableName();

// Number of running processes whose executable's base name equals `name`,
// compared case-sensitively (this process included); -1 when the process
// list cannot be read.
int countProcessesNamed(const char* name);

// Number of running agents (this process included), -1 when the process list
// cannot be read. On Linux, processes of the agent's executable started with
// arguments are its command-line clients (`status`, `send`, `run`) and do not
// count; on Windows every process named agentExecutableName() counts.
int countAgentProcesses();

}  // namespace kestrune
