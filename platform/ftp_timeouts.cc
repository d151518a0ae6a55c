// The upload time-outs, set once by the agent (or by a test) before the
// first upload.
#include <mutex>

#include "platform/ftp.h"

namespace kestrune {

namespace {

std::mutex gTimeoutsMutex;
FtpTimeouts gTimeouts;

}  // namespace

void setFtpTimeouts(const FtpTimeouts& timeouts) {
  std::lock_guard<std::mutex> lock(gTimeoutsMutex);
  gTimeouts = timeouts;
}

FtpTimeouts ftpTimeouts() {
  std::lock_guard<std::mutex> lock(gTimeoutsMutex);
  return gTimeouts;
}

}  // namespace kestrune
