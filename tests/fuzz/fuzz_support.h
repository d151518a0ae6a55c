// What both fuzz targets share: a scratch folder, an error sink that stops
// the run, and a check that aborts with a message.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/errors.h"

namespace kestrune::fuzz {

inline void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

// A folder of this process's own below /tmp, made once; no error may reach the sink.
inline const std::string& scratch() {
  static const std::string folder = [] {
    std::string f = "/tmp/kestrune-fuzz-" + std::to_string(::getpid());
    std::string command = "mkdir -p " + f + "/satislar " + f + "/giderler";
    require(std::system(command.c_str()) == 0, "scratch folder");
    setErrorSink([](const std::string& caption, const std::string& text) {
      std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
      std::abort();
    });
    return f;
  }();
  return folder;
}

inline std::string readWhole(const std::string& path) {
  std::string out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  require(f != nullptr, "written file exists");
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

}  // namespace kestrune::fuzz
