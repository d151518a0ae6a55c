// Linux has no status window to repaint: `kestrune status` always reads the
// current values. The requests are only counted.
#include "platform/window.h"

#include <atomic>

namespace kestrune {

namespace {
std::atomic<int> gRepaintRequests{0};
}  // namespace

void requestRepaint(WindowHandle) { ++gRepaintRequests; }

int repaintRequestCount() { return gRepaintRequests.load(); }

}  // namespace kestrune
