// The agent's start-up and its one-shot jobs.
#pragma once

#include <string>

namespace kestrune {

struct AppState;

// The agent: single-instance guard, data, the first daily report, the main
// window (control socket), the scheduler thread, then requests until the
// user or a signal ends it. Returns the exit code (1 for a second copy).
int runAgent(AppState& app);

// One job and exit, for installers: "daily", "monthly" or "export".
// 0 when the job's file was uploaded, 1 when not, 3 while an agent of this
// user is running (both would write the same files), 2 for an unknown job.
int runOneShot(AppState& app, const std::string& job);

}  // namespace kestrune
