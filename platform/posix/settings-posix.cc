// The settings file that stands in for the registry key:
// ${XDG_CONFIG_HOME:-$HOME/.config}/Ostrelian/Melrova.ini, section [Server].
#include "platform/settings.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

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

}  // namespace

int readServerSetting(const char* name, char* out, size_t outSize) {
  std::string path = settingsPath();
  if (path.empty()) return -2;
  std::ifstream in(path);
  if (!in) return -2;
  bool sectionSeen = false, inSection = false;
  std::string line;
  while (std::getline(in, line)) {
    std::string t = trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t.front() == '[' && t.back() == ']') {
      inSection = strcasecmp(trim(t.substr(1, t.size() - 2)).c_str(), "Server") == 0;
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    if (!inSection) continue;
    size_t eq = t.find('=');
    if (eq == std::string::npos) continue;
    if (strcasecmp(trim(t.substr(0, eq)).c_str(), name) != 0) continue;
    std::string value = trim(t.substr(eq + 1));
    if (value.size() + 1 > outSize) return -1;
    std::memcpy(out, value.c_str(), value.size() + 1);
    return 0;
  }
  return sectionSeen ? -1 : -2;
}

bool settingsArePrivate() {
  std::string path = settingsPath();
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return true;
  return (st.st_mode & 077) == 0;
}

}  // namespace kestrune
