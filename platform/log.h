// The agent's log: one line per run, per result and per error, with the
// local time, in UTF-8, in a file of bounded size beside the reports.
#pragma once

#include <string>

namespace kestrune {

// Lines go to `path` from now on (empty: nowhere). When a line would make
// the file larger than `maxBytes`, the file becomes path + ".1" (replacing
// the older one) and a new file begins.
void openLog(const std::string& path, long maxBytes = 1024 * 1024);

// Appends "YYYY-MM-DD HH:MM:SS text" as one line (line ends in `text` become
// spaces). A log that cannot be written is passed over: it never stops or
// slows the caller.
void logLine(const std::string& text);

}  // namespace kestrune
