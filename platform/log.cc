#include "platform/log.h"

#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/clock.h"
#include "platform/folders.h"

namespace kestrune {

namespace {

struct Log {
  std::mutex mutex;
  std::string path;
  long maxBytes = 0;
  std::FILE* file = nullptr;
  long size = 0;
};

Log& theLog() {
  static Log log;
  return log;
}

// Opens the file for appending (or empty); the caller holds the mutex.
void reopen(Log& log, bool empty = false) {
  if (log.file) std::fclose(log.file);
  log.file = log.path.empty() ? nullptr : openPrivateAppend(log.path, empty);
  log.size = 0;
  if (log.file && std::fseek(log.file, 0, SEEK_END) == 0) log.size = std::ftell(log.file);
}

std::string stamp() {
  std::tm t = localTimeOf(nowSeconds());
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

// One line as the file gets it. Text from the database or from a server
// could hold a terminal escape: control characters become '?' as on the
// status panel, line ends spaces.
std::string logText(const std::string& text) {
  std::string line = stamp() + " " + text;
  for (char& c : line) {
    if (c == '\n' || c == '\r')
      c = ' ';
    else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      c = '?';
  }
  return line + '\n';
}

}  // namespace

void openLog(const std::string& path, long maxBytes) {
  Log& log = theLog();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.path = path;
  log.maxBytes = maxBytes;
  reopen(log);
}

void logLine(const std::string& text) {
  Log& log = theLog();
  std::lock_guard<std::mutex> lock(log.mutex);
  if (log.path.empty()) return;
  std::string line = logText(text);
  // A file that could not be opened (a folder removed, a full disk) is tried
  // again with the next line.
  if (!log.file) reopen(log);
  if (log.file && log.size > 0 && log.size + static_cast<long>(line.size()) > log.maxBytes) {
    std::fclose(log.file);
    log.file = nullptr;
    std::string error;
    if (replaceFile(log.path, log.path + ".1", &error)) {
      reopen(log);
    } else {
      // The older file cannot be replaced (a folder in its place, on Windows
      // a viewer holding it open): this file starts over, or it would grow
      // without bound and the rename be tried on every line.
      reopen(log, true);
      std::string note = logText("log: " + error + "; kestrune.log starts over");
      if (log.file && std::fwrite(note.data(), 1, note.size(), log.file) == note.size())
        log.size = static_cast<long>(note.size());
    }
  }
  if (!log.file) return;
  if (std::fwrite(line.data(), 1, line.size(), log.file) == line.size() &&
      std::fflush(log.file) == 0) {
    log.size += static_cast<long>(line.size());
  } else {
    // Next line starts over with a fresh handle.
    std::fclose(log.file);
    log.file = nullptr;
  }
}

}  // namespace kestrune
