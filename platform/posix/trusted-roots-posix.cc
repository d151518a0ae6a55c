#include "platform/trusted_roots.h"

namespace kestrune {

// libcurl on OpenSSL reads the system's CA bundle itself.
std::optional<std::string> trustedRootsPem() { return std::nullopt; }

}  // namespace kestrune
