// The upload with the system's WinINet client, which has no FTP over TLS:
// the log-in and the data go in clear whatever the account asks for.
#include <windows.h>
#include <wininet.h>

#include "platform/ftp.h"

namespace kestrune {

namespace {

void setMillis(HINTERNET handle, DWORD option, int seconds) {
  DWORD ms = seconds > 0 ? static_cast<DWORD>(seconds) * 1000 : 0;
  InternetSetOptionA(handle, option, &ms, sizeof ms);
}

}  // namespace

bool ftpTlsSupported() { return false; }

int ftpPutFile(const FtpAccount& account, const std::string& remoteFolder,
               const std::string& remoteName, const std::string& localPath,
               FtpOutcome* outcome) {
  if (outcome) *outcome = FtpOutcome{};
  HINTERNET internet = InternetOpenA(account.agentName.c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                     nullptr, nullptr, 0);
  if (!internet) return kFtpOpenFailed;

  // Handles made from this one inherit the time-outs.
  FtpTimeouts timeouts = ftpTimeouts();
  setMillis(internet, INTERNET_OPTION_CONNECT_TIMEOUT, timeouts.connectSeconds);
  setMillis(internet, INTERNET_OPTION_SEND_TIMEOUT, timeouts.responseSeconds);
  setMillis(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, timeouts.responseSeconds);
  setMillis(internet, INTERNET_OPTION_DATA_SEND_TIMEOUT, timeouts.stallSeconds);
  setMillis(internet, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, timeouts.stallSeconds);

  HINTERNET session = InternetConnectA(
      internet, account.host.c_str(), static_cast<INTERNET_PORT>(account.port),
      account.user.c_str(), account.password.c_str(), INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
  if (!session) {
    InternetCloseHandle(internet);
    return kFtpConnectFailed;
  }

  if (!FtpSetCurrentDirectoryA(session, remoteFolder.c_str())) {
    InternetCloseHandle(session);
    InternetCloseHandle(internet);
    return kFtpFolderFailed;
  }

  if (!FtpPutFileA(session, localPath.c_str(), remoteName.c_str(), FTP_TRANSFER_TYPE_BINARY, 0)) {
    InternetCloseHandle(session);
    InternetCloseHandle(internet);
    return kFtpPutFailed;
  }

  InternetCloseHandle(session);
  InternetCloseHandle(internet);
  return kFtpDone;
}

}  // namespace kestrune
