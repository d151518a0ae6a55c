#pragma once

#include "platform/window.h"

namespace kestrune {

struct AppState;

// What the status panel shows now.
StatusPanel readStatusPanel(const AppState& app);

}  // namespace kestrune
