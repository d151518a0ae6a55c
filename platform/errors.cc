// The replaceable error sink; the system's own way of showing an error is per
// system (a message box on Windows, a line on standard error elsewhere).
#include "platform/errors.h"

#include <mutex>

namespace kestrune {

void systemShowError(const std::string& caption, const std::string& text);

namespace {
std::mutex gSinkMutex;
ErrorSink gSink;
}  // namespace

void showError(const std::string& caption, const std::string& text) {
  ErrorSink sink;
  {
    std::lock_guard<std::mutex> lock(gSinkMutex);
    sink = gSink;
  }
  if (sink)
    sink(caption, text);
  else
    systemShowError(caption, text);
}

ErrorSink setErrorSink(ErrorSink sink) {
  std::lock_guard<std::mutex> lock(gSinkMutex);
  ErrorSink previous = std::move(gSink);
  gSink = std::move(sink);
  return previous;
}

}  // namespace kestrune
