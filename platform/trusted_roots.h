// The root certificates an FTP upload with ftptls=require trusts.
#ifndef KESTRUNE_PLATFORM_TRUSTED_ROOTS_H_
#define KESTRUNE_PLATFORM_TRUSTED_ROOTS_H_

#include <optional>
#include <string>

namespace kestrune {

// The system's trusted roots in PEM, for a TLS library that is to check the
// chain and the host name itself; std::nullopt where the TLS library reads
// the system's store on its own (OpenSSL and Debian's CA bundle). An empty
// string trusts nothing.
std::optional<std::string> trustedRootsPem();

}  // namespace kestrune

#endif  // KESTRUNE_PLATFORM_TRUSTED_ROOTS_H_
