#include <unistd.h>

#include "platform/output_file.h"

namespace kestrune {

bool syncFile(std::FILE* file) { return ::fsync(::fileno(file)) == 0; }

}  // namespace kestrune
