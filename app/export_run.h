// The expense export run: reads, gider.dat, its upload, the receipt images
// and the marking of the exported movements.
#pragma once

namespace kestrune {

struct AppState;
struct RunOutcome;

// The whole export run; adds 1 to exportsCompleted, and 1 to exportsUploaded
// when gider.dat reached the server. What it did is recorded (recordRun) and,
// when asked for, copied to `outcome`. Returns 0.
int runExpenseExport(AppState& app, RunOutcome* outcome = nullptr);

}  // namespace kestrune
