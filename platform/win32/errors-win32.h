// The error boxes of the agent's threads, seen from the window's side.
#pragma once

namespace kestrune {

// Once the agent's window is gone nobody is there to answer an error box:
// presses OK on every box still waiting and shows no new ones, so that a
// thread held by a box (the scheduler's) can finish and the process end.
// Waits up to `waitMs` milliseconds for the boxes to go.
void closeErrorBoxes(int waitMs);

}  // namespace kestrune
