// The agent's few settings: the registry key "SOFTWARE\Ostrelian\Melrova\Server"
// of the current user on Windows; section [Server] of
// ${XDG_CONFIG_HOME:-$HOME/.config}/Ostrelian/Melrova.ini elsewhere.
#pragma once

#include <cstddef>

namespace kestrune {

// Reads value `name` into `out` (zero-terminated, `outSize` bytes in all).
// Returns 0 when read; -1 when the value is missing, unreadable or does not
// fit `outSize` with its terminator; -2 when the key (file or section) is
// missing. On failure `out` is left unchanged.
int readServerSetting(const char* name, char* out, size_t outSize);

// False when other users of this machine can read the settings (a settings
// file with any group or other permission); true otherwise, and when there
// are no settings. The registry key is the user's own: always true there.
bool settingsArePrivate();

}  // namespace kestrune
