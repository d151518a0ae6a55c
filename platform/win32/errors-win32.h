// The error boxes of the agent's threads, seen from the window's side.
#pragma once

#include <string>

namespace kestrune {

// Once the agent's window is gone nobody is there to answer an error box:
// presses OK on every box still up and shows no new ones, so that the
// process can end without anyone at the desktop.
// Waits up to `waitMs` milliseconds for the boxes to go.
void closeErrorBoxes(int waitMs);

// Errors of this caption that were counted instead of shown while its box
// was up: the box up now, else the last one (0 when there was none).
int errorBoxRepeats(const std::string& caption);

}  // namespace kestrune
