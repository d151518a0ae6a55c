#include "platform/output_file.h"

#include <cerrno>
#include <cstring>

#include "platform/folders.h"

namespace kestrune {

namespace {
void fail(OutputFile& out, const char* what) {
  if (out.failed) return;
  out.failed = true;
  out.error = std::string(what) + " " + out.finalPath + ": " + std::strerror(errno);
}
}  // namespace

bool openOutputFile(OutputFile& out, const std::string& finalPath) {
  out = OutputFile();
  out.finalPath = finalPath;
  out.file = createTemporaryFile(finalPath, &out.tempPath, &out.error);
  if (!out.file) {
    out.failed = true;
    return false;
  }
  return true;
}

bool writeOutput(OutputFile& out, const void* data, size_t size) {
  if (out.failed || !out.file) return false;
  if (size && std::fwrite(data, 1, size, out.file) != size) fail(out, "cannot write");
  return !out.failed;
}

bool commitOutputFile(OutputFile& out) {
  if (!out.file) return false;
  if (!out.failed && std::fflush(out.file) != 0) fail(out, "cannot write");
  if (!out.failed && !syncFile(out.file)) fail(out, "cannot write");
  if (std::fclose(out.file) != 0) fail(out, "cannot write");
  out.file = nullptr;
  if (!out.failed) {
    std::string error;
    if (replaceFile(out.tempPath, out.finalPath, &error)) {
      syncFolderOf(out.finalPath);
      return true;
    }
    out.failed = true;
    out.error = error;
  }
  removeFile(out.tempPath);
  return false;
}

void discardOutputFile(OutputFile& out) {
  if (out.file) std::fclose(out.file);
  out.file = nullptr;
  removeFile(out.tempPath);
}

}  // namespace kestrune
