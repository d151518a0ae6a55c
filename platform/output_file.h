// A file that appears under its final name only when every byte of it was
// written: the bytes go to a temporary file beside it (a new one of its
// own, private to this user), which replaces the final file on commit. A full disk or any other
// write error leaves the old file (or none) in place and nothing half-written.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace kestrune {

struct OutputFile {
  std::FILE* file = nullptr;
  std::string finalPath;
  std::string tempPath;
  bool failed = false;
  std::string error;  // why it failed, for the error report
};

bool openOutputFile(OutputFile& out, const std::string& finalPath);
bool writeOutput(OutputFile& out, const void* data, size_t size);
inline bool writeOutput(OutputFile& out, const std::string& text) {
  return writeOutput(out, text.data(), text.size());
}
// Flushes to disk and moves the file into place. False (and nothing in
// place) when any step, or any write before, failed.
bool commitOutputFile(OutputFile& out);
// Drops the temporary file; the final file stays as it was.
void discardOutputFile(OutputFile& out);

// Flushes a stream's data to the disk (fsync / _commit).
bool syncFile(std::FILE* file);

}  // namespace kestrune
