// The agent's few settings: the registry key "SOFTWARE\Ostrelian\Melrova\Server"
// of the current user on Windows; section [Server] of
// ${XDG_CONFIG_HOME:-$HOME/.config}/Ostrelian/Melrova.ini elsewhere.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace kestrune {

// The names of the settings the agent reads, and all of them in one list
// (kestrune(1) describes each).
inline constexpr char kSettingIpno[] = "ipno";
inline constexpr char kSettingFtpHost[] = "ftphost";
inline constexpr char kSettingRoot[] = "root";
inline constexpr char kSettingFtpUser[] = "ftpuser";
inline constexpr char kSettingFtpPassword[] = "ftppassword";
inline constexpr char kSettingFtpTls[] = "ftptls";
inline constexpr char kSettingClosedReports[] = "closedreports";
inline constexpr const char* kSettingNames[] = {
    kSettingIpno,        kSettingFtpHost, kSettingRoot,         kSettingFtpUser,
    kSettingFtpPassword, kSettingFtpTls,  kSettingClosedReports};

// Reads value `name` into `out` (zero-terminated, `outSize` bytes in all).
// Returns 0 when read; -1 when the value is missing, unreadable or does not
// fit `outSize` with its terminator; -2 when the key (file or section) is
// missing. On failure `out` is left unchanged.
int readServerSetting(const char* name, char* out, size_t outSize);

// False when other users of this machine can read the settings (a settings
// file with any group or other permission); true otherwise, and when there
// are no settings. The registry key is the user's own: always true there.
bool settingsArePrivate();

// One value of section [Server] as the agent reads it: blanks around it and
// a comment after it (" ; ...") taken off.
struct SettingLine {
  std::string name;
  std::string value;
  int line = 0;  // in the file, from 1
};

// The settings file as a whole, for checking it and for showing it. Where
// the settings are not a file (the registry), `path` is empty.
struct SettingsFile {
  std::string path;
  bool found = false;               // the file exists and could be read
  int sectionLine = 0;              // the first [Server] header; 0: none
  std::vector<SettingLine> values;  // every value of [Server], in file order
};

SettingsFile readSettingsFile();

// Sets `values` (name, value) in section [Server], keeping every other line
// of the file (other values and sections, comments), and makes the section
// when there is none. The new file is written beside the old one and renamed
// over it, mode 0600, so that a reader sees the old or the new file, never
// part of one. True with the file's path in `path`; false with `error`.
bool writeServerSettings(const std::vector<std::pair<std::string, std::string>>& values,
                         std::string* path, std::string* error);

}  // namespace kestrune
