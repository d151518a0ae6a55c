#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/folders.h"
#include "platform/settings.h"
#include "platform/text.h"

namespace kestrune {

const char kPathSeparator[] = "/";

namespace {
std::string homeFolder() {
  const char* home = std::getenv("HOME");
  return home ? home : "";
}
}  // namespace

std::string agentRootFolder() {
  char root[4096] = {};
  if (readServerSetting("root", root, sizeof root) == 0 && root[0]) return root;
  return homeFolder() + "/Melrova";
}

std::u16string desktopFolder() {
  const char* desktop = std::getenv("XDG_DESKTOP_DIR");
  if (desktop && *desktop) return utf8ToUtf16(desktop);
  std::string home = homeFolder();
  if (home.empty()) return std::u16string();
  return utf8ToUtf16(home + "/Desktop");
}

bool createFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  struct stat st;
  return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool createFolder(const std::u16string& path) { return createFolder(utf16ToUtf8(path)); }

bool pathExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (error) *error = "cannot replace " + to + ": " + std::strerror(errno);
  return false;
}

void removeFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace kestrune
