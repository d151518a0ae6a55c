// One job without an agent, for installers and technicians: kestrune run ...
#pragma once

#include <string>

namespace kestrune {

struct AppState;

// "daily", "monthly", "export" or "closed" (the closed periods due).
// 0 when the job's file was uploaded (closed: nothing is left due), 1 when
// not, 3 while an agent of this user is running (both would write the same
// files), 2 for an unknown job.
int runOneShot(AppState& app, const std::string& job);

}  // namespace kestrune
