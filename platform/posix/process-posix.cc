#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <string>

#include "platform/process.h"

namespace kestrune {

namespace {

// Base name of the process's executable, "<unknown>" where it cannot be read.
std::string executableBaseName(const char* id) {
  std::string link = std::string("/proc/") + id + "/exe";
  char target[PATH_MAX];
  ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return "<unknown>";
  target[n] = '\0';
  std::string path(target);
  // a replaced executable reads "/path/name (deleted)"
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() &&
      path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
    path.resize(path.size() - deleted.size());
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// True when the process was started with arguments after its name. The
// agent runs without any; `kestrune status`, `send` and `run` are its
// command-line clients in the same executable.
bool hasArguments(const char* id) {
  std::string path = std::string("/proc/") + id + "/cmdline";
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[4096];
  ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  if (n <= 0) return false;
  const void* end = std::memchr(buffer, '\0', static_cast<size_t>(n));
  // arguments follow the terminator of argv[0]
  return end && static_cast<const char*>(end) + 1 < buffer + n;
}

int countProcesses(const char* name, bool agentsOnly) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return -1;
  int count = 0;
  while (struct dirent* entry = ::readdir(proc)) {
    const char* id = entry->d_name;
    if (!std::isdigit(static_cast<unsigned char>(id[0]))) continue;
    if (executableBaseName(id) != name) continue;
    if (agentsOnly && hasArguments(id)) continue;
    ++count;
  }
  ::closedir(proc);
  return count;
}

}  // namespace

const char* agentExecutableName() { return "kestrune"; }

int countProcessesNamed(const char* name) { return countProcesses(name, false); }

int countAgentProcesses() { return countProcesses(agentExecutableName(), true); }

}  // namespace kestrune
