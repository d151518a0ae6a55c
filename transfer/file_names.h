// Names of files that leave the workstation.
#pragma once

#include <string>

namespace kestrune {

// A name that names a file in a local folder itself and, as a remote name, a
// file in the restaurant's remote folder: no folder part, no way up, no
// drive, no Windows device name, no control characters (an FTP command ends
// at CR LF).
bool isPlainFileName(const std::string& name);

// The name as it can be shown in a message: control characters become '?'.
std::string printableName(const std::string& name);

}  // namespace kestrune
