// The expense export run: reads, gider.dat, its upload, the receipt images
// and the marking of the exported movements.
#pragma once

namespace kestrune {

struct AppState;

// The whole export run; adds 1 to exportsCompleted, and 1 to exportsUploaded
// when gider.dat reached the server. Returns 0.
int runExpenseExport(AppState& app);

}  // namespace kestrune
