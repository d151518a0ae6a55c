#include <io.h>

#include <cstdio>

#include "platform/output_file.h"

namespace kestrune {

bool syncFile(std::FILE* file) { return _commit(_fileno(file)) == 0; }

}  // namespace kestrune
