#include <windows.h>
#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/folders.h"
#include "platform/win32/wide-win32.h"

namespace kestrune {

const char kPathSeparator[] = "\\";

namespace {

std::string systemErrorText(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n && text ? std::string(text, n) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
    out.pop_back();
  return out;
}

bool isFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Drive letter of the Windows folder ("C").
std::string systemDrive() {
  char windows[512] = {};
  UINT n = GetWindowsDirectoryA(windows, sizeof windows);
  // Without an answer the usual drive is the best guess.
  if (n == 0 || n >= sizeof windows || windows[0] == '\0') return "C";
  return std::string(1, windows[0]);
}

}  // namespace

std::string agentRootFolder() {
  char root[512];
  std::snprintf(root, sizeof root, "%s:\\%s", systemDrive().c_str(), "Melrova");
  return root;
}

std::u16string desktopFolder() {
  wchar_t path[1024] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOP, FALSE)) return std::u16string();
  return fromWide(path);
}

bool createFolder(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && isFolder(GetFileAttributesA(path.c_str()));
}

bool createFolder(const std::u16string& path) {
  std::wstring wide = toWide(path);
  if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && isFolder(GetFileAttributesW(wide.c_str()));
}

namespace {

// "S-1-5-21-..." of the user this process runs as; empty when unknown.
std::wstring currentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::string buffer(size, '\0');
  std::wstring text;
  wchar_t* sid = nullptr;
  if (size && GetTokenInformation(token, TokenUser, &buffer[0], size, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(&buffer[0])->User.Sid, &sid)) {
    text = sid;
    LocalFree(sid);
  }
  CloseHandle(token);
  return text;
}

}  // namespace

bool createPrivateFolder(const std::string& path) {
  // Full control for the user, the administrators and the system, for the
  // folder and all below it; nothing inherited from the drive (whose
  // "Authenticated Users: Modify" would let every local account read the
  // expenses and swap receipt images before they are sent).
  std::wstring user = currentUserSid();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring sddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  if (!user.empty()) sddl += L"(A;OICI;FA;;;" + user + L")";
  if (user.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                          sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return createFolder(path);  // no user to name: as any other folder
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  BOOL made = CreateDirectoryA(path.c_str(), &attributes);
  DWORD code = GetLastError();
  LocalFree(descriptor);
  if (made) return true;
  return code == ERROR_ALREADY_EXISTS && isFolder(GetFileAttributesA(path.c_str()));
}

bool pathExists(const std::string& path) { return PathFileExistsA(path.c_str()) != FALSE; }

PathKind pathKind(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? PathKind::Missing
                                                                        : PathKind::Other;
  }
  if (attributes &
      (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
    return PathKind::Other;
  return PathKind::File;
}

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  if (error) *error = "cannot replace " + to + ": " + systemErrorText(GetLastError());
  return false;
}

std::vector<std::string> folderEntries(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

void removeFile(const std::string& path) { DeleteFileA(path.c_str()); }

std::FILE* createTemporaryFile(const std::string& finalPath, std::string* tempPath,
                               std::string* error) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = finalPath + "." + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(GetTickCount()) + "-" + std::to_string(counter++) + ".tmp";
    // CREATE_NEW: never an existing file (nor what a link there points to).
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      DWORD code = GetLastError();
      if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) continue;
      if (error) *error = "cannot create " + finalPath + ": " + systemErrorText(code);
      return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    std::FILE* file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (!file) {
      if (fd >= 0)
        _close(fd);
      else
        CloseHandle(handle);
      DeleteFileA(name.c_str());
      if (error) *error = "cannot create " + finalPath;
      return nullptr;
    }
    *tempPath = name;
    return file;
  }
  if (error) *error = "cannot create " + finalPath + ": no unused temporary name";
  return nullptr;
}

std::FILE* openPrivateAppend(const std::string& path, bool empty) {
  return std::fopen(path.c_str(), empty ? "wb" : "ab");
}

int lockFolder(const std::string& folder, std::string* error) {
  std::string path = folder + "\\kestrune.lock";
  // Shared with nobody: a second opener gets a sharing violation. The handle
  // stays open until the process ends.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) return 1;
  DWORD code = GetLastError();
  if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return 0;
  if (error) *error = "cannot open " + path + ": " + systemErrorText(code);
  return -1;
}

std::FILE* openRegularFile(const std::string& path, long long* size) {
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which is then refused
  // like a folder, a pipe or a device.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  LARGE_INTEGER length;
  bool regular =
      GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
      !(info.dwFileAttributes &
        (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) &&
      GetFileSizeEx(handle, &length);
  int fd =
      regular ? _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY) : -1;
  std::FILE* file = fd >= 0 ? _fdopen(fd, "rb") : nullptr;
  if (!file) {
    if (fd >= 0)
      _close(fd);
    else
      CloseHandle(handle);
    return nullptr;
  }
  *size = static_cast<long long>(length.QuadPart);
  return file;
}

// MOVEFILE_WRITE_THROUGH has made the rename durable already.
void syncFolderOf(const std::string&) {}

}  // namespace kestrune
