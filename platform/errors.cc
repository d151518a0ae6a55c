// The replaceable error sink; the system's own way of showing an error is per
// system (a message box on Windows, a line on standard error elsewhere).
#include "platform/errors.h"

#include <mutex>

#include "platform/clock.h"
#include "platform/log.h"

namespace kestrune {

void systemShowError(const std::string& caption, const std::string& text);

namespace {
std::mutex gSinkMutex;
ErrorSink gSink;
LastError gLastError;
}  // namespace

void showError(const std::string& caption, const std::string& text) {
  logLine("error " + caption + ": " + text);
  int64_t now = nowSeconds();
  ErrorSink sink;
  {
    std::lock_guard<std::mutex> lock(gSinkMutex);
    sink = gSink;
    gLastError.time = now;
    gLastError.caption = caption;
    gLastError.text = text;
  }
  if (sink)
    sink(caption, text);
  else
    systemShowError(caption, text);
}

LastError lastError() {
  std::lock_guard<std::mutex> lock(gSinkMutex);
  return gLastError;
}

ErrorSink setErrorSink(ErrorSink sink) {
  std::lock_guard<std::mutex> lock(gSinkMutex);
  ErrorSink previous = std::move(gSink);
  gSink = std::move(sink);
  return previous;
}

}  // namespace kestrune
