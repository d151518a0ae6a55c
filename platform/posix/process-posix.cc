#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <string>

#include "platform/process.h"

namespace kestrune {

const char* agentExecutableName() { return "kestrune"; }

int countProcessesNamed(const char* name) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return -1;
  int count = 0;
  while (struct dirent* entry = ::readdir(proc)) {
    const char* id = entry->d_name;
    if (!std::isdigit(static_cast<unsigned char>(id[0]))) continue;
    std::string link = std::string("/proc/") + id + "/exe";
    char target[PATH_MAX];
    ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    std::string base = "<unknown>";
    if (n > 0) {
      target[n] = '\0';
      std::string path(target);
      // a replaced executable reads "/path/name (deleted)"
      const std::string deleted = " (deleted)";
      if (path.size() > deleted.size() &&
          path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
      size_t slash = path.rfind('/');
      base = slash == std::string::npos ? path : path.substr(slash + 1);
    }
    if (base == name) ++count;
  }
  ::closedir(proc);
  return count;
}

}  // namespace kestrune
