#pragma once

#include "platform/control.h"

namespace kestrune {

struct SharedState;

// What the status panel shows now.
StatusPanel readStatusPanel(const SharedState& shared);

}  // namespace kestrune
