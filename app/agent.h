// The agent: start-up, the control, the scheduler thread and the bounded end.
#pragma once

namespace kestrune {

struct AppState;

// The agent: single-instance guard, data, the first daily report and the
// closed periods due, the control (main window or control socket), the
// scheduler thread, then requests until the user or a signal ends it.
// Returns the exit code (1 for a second copy).
int runAgent(AppState& app);

}  // namespace kestrune
