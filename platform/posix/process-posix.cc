#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

int countProcesses(const char* name) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return -1;
  int count = 0;
  while (struct dirent* entry = ::readdir(proc)) {
    const char* id = entry->d_name;
    if (!std::isdigit(static_cast<unsigned char>(id[0]))) continue;
    if (executableBaseName(id) != name) continue;
    ++count;
  }
  ::closedir(proc);
  return count;
}

// A folder, not a link, of this user's own.
bool isOwnFolder(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  const passwd* user = ::getpwuid(::getuid());
  return user && user->pw_dir ? user->pw_dir : "";
}

}  // namespace

const char* agentExecutableName() { return "kestrune"; }

int countProcessesNamed(const char* name) { return countProcesses(name); }

int takeAgentLock(std::string* why) {
  // Taken once per process: a second flock() of this process on a new
  // descriptor would meet its own lock.
  static bool taken = false;
  if (taken) return 1;
  std::string name = "/kestrune-agent.lock";
  std::vector<std::string> folders;
  // The same order for every agent, whatever its environment: two starting
  // at once meet on the first folder they share.
  std::string run = "/run/user/" + std::to_string(::getuid());
  if (isOwnFolder(run)) folders.push_back(run);
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && run != runtime) folders.push_back(runtime);
  std::string home = homeFolder();
  if (!home.empty()) {
    ::mkdir((home + "/.cache").c_str(), 0700);
    std::string cache = home + "/.cache/kestrune";
    ::mkdir(cache.c_str(), 0700);
    if (isOwnFolder(cache)) folders.push_back(cache);
  }
  std::vector<int> held;
  std::string failures;
  for (const std::string& folder : folders) {
    std::string path = folder + name;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      held.push_back(fd);  // kept open: held until the process ends
      continue;
    }
    int code = errno;
    if (fd >= 0) ::close(fd);
    if (fd >= 0 && code == EWOULDBLOCK) {
      for (int other : held) ::close(other);
      *why = "another agent of this user runs (it holds " + path + ")";
      return 0;
    }
    failures += (failures.empty() ? "" : "; ") + path + ": " + std::strerror(code);
  }
  if (!held.empty()) {
    taken = true;
    return 1;
  }
  *why = "no lock for the single-instance check" +
         (failures.empty() ? std::string(": no folder of this user's own") : ": " + failures);
  return -1;
}

}  // namespace kestrune
