// Linux has no status window to repaint: `kestrune status` always reads the
// current values. The refreshes are only counted.
#include <atomic>

#include "platform/control.h"

namespace kestrune {

namespace {
std::atomic<int> gRefreshes{0};
}  // namespace

void refreshStatus() { ++gRefreshes; }

int statusRefreshCount() { return gRefreshes.load(); }

}  // namespace kestrune
