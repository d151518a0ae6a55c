// The one way the agent shows an error to a person: a message box with no
// owner on Windows, one line "CAPTION: text" on standard error elsewhere.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kestrune {

// Shows the error, writes it to the log and keeps it as the last error.
void showError(const std::string& caption, const std::string& text);

struct LastError {
  int64_t time = 0;  // seconds since 1970; 0 while there was none
  std::string caption;
  std::string text;
};

// The last error shown by this process.
LastError lastError();

using ErrorSink = std::function<void(const std::string& caption, const std::string& text)>;

// Replace where errors go (tests capture them); an empty sink restores the
// system's own. Returns the sink that was in place. May be called while other
// threads report; the sink itself must then be thread-safe.
ErrorSink setErrorSink(ErrorSink sink);

}  // namespace kestrune
