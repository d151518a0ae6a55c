// An export asked for by another program (message 0x488), run on a thread of
// its own while the control goes on serving.
#pragma once

#include <string>

namespace kestrune {

struct AppState;
struct RunOutcome;

// Runs one whole export on a thread of its own and returns its outcome when
// it is done; meanwhile the window paints and takes WM_CLOSE, SIGTERM is
// heard, however long the export's reads take. Requests stay one after the
// other. When the agent is asked to end first, the export is left to stop at
// its next step and the outcome says so.
RunOutcome serveExport(AppState& app);

// The answer to the client that asked: "ok:" only when gider.dat reached the server.
std::string exportAnswer(const RunOutcome& outcome);

}  // namespace kestrune
