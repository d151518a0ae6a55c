// The command line's usage text, as `kestrune --help` prints it.
#pragma once

namespace kestrune {

const char* usageText();

}  // namespace kestrune
