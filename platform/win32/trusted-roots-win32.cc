// Windows' "Root" store (the user's view, which includes the machine's) as
// PEM. Leaving the check to Schannel is not enough: Wine's completes the
// handshake with any certificate. With the roots handed over, libcurl builds
// the chain against exactly these and checks the host name on every system
// alike.
#include "platform/trusted_roots.h"

#include <windows.h>
#include <wincrypt.h>

namespace kestrune {

std::optional<std::string> trustedRootsPem() {
  std::string pem;
  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                    CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_READONLY_FLAG, L"ROOT");
  if (!store) return pem;
  PCCERT_CONTEXT cert = nullptr;
  while ((cert = CertEnumCertificatesInStore(store, cert)) != nullptr) {
    DWORD size = 0;
    if (!CryptBinaryToStringA(cert->pbCertEncoded, cert->cbCertEncoded, CRYPT_STRING_BASE64HEADER,
                              nullptr, &size))
      continue;
    std::string text(size, '\0');
    if (!CryptBinaryToStringA(cert->pbCertEncoded, cert->cbCertEncoded, CRYPT_STRING_BASE64HEADER,
                              &text[0], &size))
      continue;
    text.resize(size);  // without the terminating NUL
    pem += text;
  }
  CertCloseStore(store, 0);
  return pem;
}

}  // namespace kestrune
