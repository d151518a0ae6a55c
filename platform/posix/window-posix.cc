// Linux has no status window to repaint: `kestrune status` always reads the
// current values.
#include "platform/window.h"

namespace kestrune {

void requestRepaint(WindowHandle) {}

}  // namespace kestrune
