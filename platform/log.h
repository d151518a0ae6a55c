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
// spaces, other control characters '?'; UTF-8 is kept). A log that cannot be
// written is passed over: it never stops or slows the caller. When the older
// file cannot be replaced, the file starts over with a line saying why.
void logLine(const std::string& text);

}  // namespace kestrune
