// The registry key "SOFTWARE\Ostrelian\Melrova\Server" of the current user.
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/settings.h"

namespace kestrune {

namespace {
const char kServerKey[] = "SOFTWARE\\Ostrelian\\Melrova\\Server";
}

int readServerSetting(const char* name, char* out, size_t outSize) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kServerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return -2;
  if (outSize == 0 || outSize > 0xFFFFFFFFu) {
    RegCloseKey(key);
    return -1;
  }
  std::vector<char> buffer(outSize, '\0');
  DWORD type = REG_SZ;
  DWORD size = static_cast<DWORD>(outSize);
  LONG rc =
      RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
  RegCloseKey(key);
  // Too long a value fails here with ERROR_MORE_DATA.
  if (rc != ERROR_SUCCESS) return -1;
  // Only text is an address; a number or binary value would be read as garbage.
  if (type != REG_SZ && type != REG_EXPAND_SZ) return -1;
  // The stored text may lack its terminator; then it must leave room for one.
  size_t length = strnlen(buffer.data(), size);
  if (length + 1 > outSize) return -1;
  std::memcpy(out, buffer.data(), length);
  out[length] = '\0';
  return 0;
}

bool settingsArePrivate() { return true; }

// The registry is not a file: the installer writes its values.
SettingsFile readSettingsFile() { return SettingsFile(); }

bool writeServerSettings(const std::vector<std::pair<std::string, std::string>>&, std::string*,
                         std::string* error) {
  *error = "not on this system: the settings are registry values, which Kestrune-setup.exe writes";
  return false;
}

}  // namespace kestrune
