#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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
  if (readServerSetting(kSettingRoot, root, sizeof root) == 0 && root[0]) return root;
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

bool createPrivateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  struct stat st;
  return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool pathExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

PathKind pathKind(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? PathKind::Missing : PathKind::Other;
  return S_ISREG(st.st_mode) ? PathKind::File : PathKind::Other;
}

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (error) *error = "cannot replace " + to + ": " + std::strerror(errno);
  return false;
}

std::vector<std::string> folderEntries(const std::string& path) {
  std::vector<std::string> names;
  DIR* folder = ::opendir(path.c_str());
  if (!folder) return names;
  while (struct dirent* entry = ::readdir(folder)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(folder);
  return names;
}

void removeFile(const std::string& path) { ::unlink(path.c_str()); }

std::FILE* createTemporaryFile(const std::string& finalPath, std::string* tempPath,
                               std::string* error) {
  std::string name = finalPath + ".XXXXXX.tmp";
  // mkstemps: O_CREAT | O_EXCL, mode 0600, a name no file had.
  int fd = ::mkstemps(&name[0], 4);
  if (fd < 0) {
    if (error) *error = "cannot create " + finalPath + ": " + std::strerror(errno);
    return nullptr;
  }
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    if (error) *error = "cannot create " + finalPath + ": " + std::strerror(errno);
    ::close(fd);
    ::unlink(name.c_str());
    return nullptr;
  }
  *tempPath = name;
  return file;
}

std::FILE* openPrivateAppend(const std::string& path, bool empty) {
  int fd =
      ::open(path.c_str(),
             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (empty ? O_TRUNC : 0), 0600);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "ab");
  if (!file) ::close(fd);
  return file;
}

int lockFolder(const std::string& folder, std::string* error) {
  std::string path = folder + "/kestrune.lock";
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (error) *error = "cannot open " + path + ": " + std::strerror(errno);
    return -1;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 1;  // kept open: held until the end
  int code = errno;
  ::close(fd);
  if (code == EWOULDBLOCK) return 0;
  if (error) *error = "cannot lock " + path + ": " + std::strerror(code);
  return -1;
}

std::FILE* openRegularFile(const std::string& path, long long* size) {
  // O_NONBLOCK: opening a FIFO does not wait for a writer; it is then refused.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  std::FILE* file = nullptr;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0)
    file = ::fdopen(fd, "rb");
  if (!file) {
    ::close(fd);
    return nullptr;
  }
  *size = static_cast<long long>(st.st_size);
  return file;
}

void syncFolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace kestrune
