// The settings file that stands in for the registry key:
// ${XDG_CONFIG_HOME:-$HOME/.config}/Ostrelian/Melrova.ini, section [Server].
// People edit it by hand, so it is read as forgivingly as editors write it.
#include "platform/settings.h"

#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/output_file.h"

namespace kestrune {

namespace {

std::string settingsPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && *config) {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return std::string();
    base = std::string(home) + "/.config";
  }
  return base + "/Ostrelian/Melrova.ini";
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

struct IniLine {
  enum Kind { kOther, kSection, kValue } kind = kOther;
  std::string name;
  std::string value;
};

// One line: a byte-order mark before the first one, a comment after a
// section header ("[Server] ; ayarlar") and after a value
// ("ipno=192.168.1.20 ; db") are passed over. A ';' inside a value without
// a blank before it stays part of the value.
IniLine parseLine(std::string text, bool first) {
  if (first && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  std::string t = trim(text);
  IniLine line;
  if (t.empty() || t[0] == ';' || t[0] == '#') return line;
  if (t[0] == '[') {
    size_t close = t.find(']');
    if (close == std::string::npos) return line;
    line.kind = IniLine::kSection;
    line.name = trim(t.substr(1, close - 1));
    return line;
  }
  size_t eq = t.find('=');
  if (eq == std::string::npos) return line;
  line.kind = IniLine::kValue;
  line.name = trim(t.substr(0, eq));
  std::string value = t.substr(eq + 1);
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == ';' && (i == 0 || value[i - 1] == ' ' || value[i - 1] == '\t')) {
      value.resize(i);
      break;
    }
  }
  line.value = trim(value);
  return line;
}

bool isServerSection(const IniLine& line) {
  return line.kind == IniLine::kSection && strcasecmp(line.name.c_str(), "Server") == 0;
}

// The file's lines without their line ends, and whether they end in "\r\n".
// False (errno set) when it cannot be read.
bool readLines(const std::string& path, std::vector<std::string>& lines, bool* crlf = nullptr) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  bool ok = !std::ferror(f);
  int savedErrno = errno;
  std::fclose(f);
  errno = savedErrno;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  if (crlf)
    *crlf = text.find('\n') != std::string::npos && !lines.empty() && !lines[0].empty() &&
            lines[0].back() == '\r';
  for (std::string& line : lines)
    if (!line.empty() && line.back() == '\r') line.pop_back();
  return ok;
}

// Makes the folders above `path` that are missing (private to the user).
// False with `error` naming the first folder that is not there afterwards.
bool makeParentFolders(const std::string& path, std::string* error) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) == 0) continue;
    int code = errno;
    struct stat st;
    if (code == EEXIST && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    if (code == EEXIST) code = ENOTDIR;
    *error = "cannot make folder " + folder + ": " + std::strerror(code);
    return false;
  }
  return true;
}

}  // namespace

SettingsFile readSettingsFile() {
  SettingsFile file;
  file.path = settingsPath();
  std::vector<std::string> lines;
  if (file.path.empty() || !readLines(file.path, lines)) return file;
  file.found = true;
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    IniLine line = parseLine(lines[i], i == 0);
    int number = static_cast<int>(i + 1);
    if (line.kind == IniLine::kSection) {
      inSection = isServerSection(line);
      if (inSection && !file.sectionLine) file.sectionLine = number;
    } else if (line.kind == IniLine::kValue && inSection) {
      file.values.push_back({line.name, line.value, number});
    }
  }
  return file;
}

int readServerSetting(const char* name, char* out, size_t outSize) {
  SettingsFile file = readSettingsFile();
  if (!file.found || !file.sectionLine) return -2;
  for (const SettingLine& setting : file.values) {
    if (strcasecmp(setting.name.c_str(), name) != 0) continue;
    if (setting.value.size() + 1 > outSize) return -1;
    std::memcpy(out, setting.value.c_str(), setting.value.size() + 1);
    return 0;
  }
  return -1;
}

bool writeServerSettings(const std::vector<std::pair<std::string, std::string>>& values,
                         std::string* path, std::string* error) {
  std::string target = settingsPath();
  if (target.empty()) {
    *error = "neither XDG_CONFIG_HOME nor HOME is set";
    return false;
  }
  *path = target;
  std::vector<std::string> lines;
  bool crlf = false;
  // No file yet (ENOTDIR: a file where a folder should be, said below).
  if (!readLines(target, lines, &crlf) && errno != ENOENT && errno != ENOTDIR) {
    *error = "cannot read " + target + ": " + std::strerror(errno);
    return false;
  }

  // A value already in a [Server] section is replaced where it stands (its
  // first appearance, the one the agent reads); the others go after the last
  // value of the first [Server] section.
  std::vector<bool> placed(values.size(), false);
  int serverSections = 0;
  bool inSection = false;
  long insertAfter = -1;
  for (size_t i = 0; i < lines.size(); ++i) {
    IniLine line = parseLine(lines[i], i == 0);
    if (line.kind == IniLine::kSection) {
      inSection = isServerSection(line);
      if (inSection && ++serverSections == 1) insertAfter = static_cast<long>(i);
      continue;
    }
    if (line.kind != IniLine::kValue || !inSection) continue;
    if (serverSections == 1) insertAfter = static_cast<long>(i);
    for (size_t k = 0; k < values.size(); ++k) {
      if (placed[k] || strcasecmp(line.name.c_str(), values[k].first.c_str()) != 0) continue;
      lines[i] = values[k].first + "=" + values[k].second;
      placed[k] = true;
      break;
    }
  }
  std::vector<std::string> added;
  for (size_t k = 0; k < values.size(); ++k)
    if (!placed[k]) added.push_back(values[k].first + "=" + values[k].second);
  if (insertAfter >= 0) {
    lines.insert(lines.begin() + insertAfter + 1, added.begin(), added.end());
  } else {
    if (!lines.empty() && !trim(lines.back()).empty()) lines.push_back("");
    lines.push_back("[Server]");
    lines.insert(lines.end(), added.begin(), added.end());
  }

  std::string text;
  for (const std::string& line : lines) text += line + (crlf ? "\r\n" : "\n");
  if (!makeParentFolders(target, error)) return false;
  OutputFile out;
  if (openOutputFile(out, target) && ::fchmod(fileno(out.file), 0600) != 0) {
    out.failed = true;
    out.error = "cannot make " + out.tempPath + " private: " + std::strerror(errno);
  }
  if (!out.failed) writeOutput(out, text);
  if (!out.failed && commitOutputFile(out)) return true;
  discardOutputFile(out);
  *error = out.error;
  return false;
}

bool settingsArePrivate() {
  std::string path = settingsPath();
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return true;
  return (st.st_mode & 077) == 0;
}

}  // namespace kestrune
