// kestrune setup: writes the user's settings as the Windows installer's
// settings page does, shows the settings the agent would use, and finds
// what in them cannot be meant.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/settings.h"

namespace kestrune {

// Why `value` cannot be meant for the setting `name` ("ipno", "ftphost",
// "root"); empty when it can. Other names are not checked.
std::string settingProblem(const std::string& name, const std::string& value);

// What in the settings file keeps the agent from working as meant, one text
// per finding, with its line: a missing file, section or ipno, and values
// that cannot be meant.
std::vector<std::string> settingsFindings(const SettingsFile& file);

// Shows each finding once under the caption SETTINGS (standard error or a
// message box, and the log).
void reportSettingsFindings();

// kestrune setup ARGS: 0 written or shown without findings, 1 not written
// (or shown with findings), 2 refused.
int runSetup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The same for main(): the words after "setup", to standard output and error.
int runSetupCommand(int argc, char** argv);

}  // namespace kestrune
