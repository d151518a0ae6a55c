// Names of files that leave the workstation.
#pragma once

#include <string>

namespace kestrune {

// A name that stays inside the folder it is used in on the server: not
// empty, not "." or "..", no '/' or '\\', no control characters (an FTP
// command ends at CR LF). The restaurant's folder and every remote file name
// must be one.
bool isPlainRemoteName(const std::string& name);

// A plain remote name that also names a file in a local folder itself: no
// drive (':') and no Windows device name.
bool isPlainFileName(const std::string& name);

// The name as it can be shown in a message: control characters become '?'.
std::string printableName(const std::string& name);

}  // namespace kestrune
