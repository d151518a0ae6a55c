// The expense export run: reads, gider.dat, its upload, the receipt images
// and the marking of the exported movements.
#pragma once

namespace kestrune {

struct ExportData;
struct RunOutcome;
struct SharedState;

// The whole export run; adds 1 to exportsCompleted, and 1 to exportsUploaded
// when gider.dat reached the server. What it did is recorded (recordRun) and
// returned. The export's thread only.
RunOutcome runExpenseExport(ExportData& exports, SharedState& shared);

}  // namespace kestrune
