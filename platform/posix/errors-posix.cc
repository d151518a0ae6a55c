#include "platform/errors.h"

#include <unistd.h>

#include <mutex>

namespace kestrune {

namespace {
std::mutex gSinkMutex;
ErrorSink gSink;

void writeToStderr(const std::string& caption, const std::string& text) {
  std::string line = caption + ": " + text;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  line += '\n';
  // one write per line, so that lines of two threads never mix
  ssize_t ignored = ::write(2, line.data(), line.size());
  (void)ignored;
}
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
    writeToStderr(caption, text);
}

ErrorSink setErrorSink(ErrorSink sink) {
  std::lock_guard<std::mutex> lock(gSinkMutex);
  ErrorSink previous = std::move(gSink);
  gSink = std::move(sink);
  return previous;
}

}  // namespace kestrune
