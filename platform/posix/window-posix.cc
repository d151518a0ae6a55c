// The agent's face on Linux: the control socket.
#include "platform/window.h"

#include <atomic>

namespace kestrune {

namespace {
std::atomic<int> gRepaintRequests{0};
}  // namespace

// There is nothing to repaint here: "status" always answers with current
// values. The request is only counted.
void requestRepaint(WindowHandle) { ++gRepaintRequests; }

int repaintRequestCount() { return gRepaintRequests.load(); }

}  // namespace kestrune
