#include "transfer/upload.h"

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <set>

#include "platform/errors.h"
#include "platform/log.h"
#include "platform/settings.h"
#include "transfer/file_names.h"

namespace kestrune {

namespace {

const char kDefaultFtpHost[] = "ftp.ostrelian.com.tr";
const char kRemoteFolderPrefix[] = "httpdocs/customer_yedek/";

// "host" or "host:port"; a port that is not a number from 1 to 65535 leaves
// the whole text as the host name, which then cannot be reached.
void applyHostSetting(const std::string& value, FtpAccount& account) {
  account.host = value;
  size_t colon = value.rfind(':');
  if (colon == std::string::npos || colon == 0 || value.find(':') != colon) return;
  std::string digits = value.substr(colon + 1);
  if (digits.empty() || digits.size() > 5) return;
  for (char c : digits)
    if (c < '0' || c > '9') return;
  int port = std::atoi(digits.c_str());
  if (port < 1 || port > 65535) return;
  account.host = value.substr(0, colon);
  account.port = port;
}

// Shows a settings problem the first time this process meets it only: the
// account is read again for every upload.
void reportOnce(const std::string& text) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!reported.insert(text).second) return;
  }
  showError("FTP_TLS", text);
}

FtpTls tlsSetting(const std::string& value) {
  std::string lower;
  for (char c : value) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "try") return FtpTls::kTry;
  if (lower == "require") return FtpTls::kRequire;
  if (lower == "off") return FtpTls::kOff;
  reportOnce("ftptls=" + printableName(value) + " is not try, require or off: treated as try");
  return FtpTls::kTry;
}

}  // namespace

FtpAccount uploadAccount() {
  FtpAccount account;
  account.host = kDefaultFtpHost;
  account.port = 21;
  account.user = "brevanotica";
  account.password = "wKup3h58";
  account.tls = FtpTls::kTry;
  char value[512] = {};
  if (readServerSetting(kSettingFtpHost, value, sizeof value) == 0 && value[0])
    applyHostSetting(value, account);
  if (readServerSetting(kSettingFtpUser, value, sizeof value) == 0 && value[0])
    account.user = value;
  if (readServerSetting(kSettingFtpPassword, value, sizeof value) == 0 && value[0])
    account.password = value;
  if (readServerSetting(kSettingFtpTls, value, sizeof value) == 0 && value[0])
    account.tls = tlsSetting(value);
  return account;
}

void checkUploadSettings() {
  char value[512] = {};
  if (readServerSetting(kSettingFtpPassword, value, sizeof value) == 0 && !settingsArePrivate())
    showError("SETTINGS",
              "the settings file holds ftppassword and other users of this machine can read "
              "it: make it readable by its owner only (chmod 600)");
  uploadAccount();  // reports an ftptls value it cannot honour now, not at the first upload
}

int uploadFile(FtpSession& session, const std::string& remoteName, const std::string& localPath,
               const CompanyInfo& company) {
  // Names from the database decide where a file lands: each must stay one
  // level inside the restaurant's folder, or nothing is sent.
  int result;
  if (!isPlainRemoteName(company.compfolder)) {
    showError("UPLOAD_FOLDER", "company folder \"" + printableName(company.compfolder) +
                                   "\" is not a plain folder name: " + remoteName + " not sent");
    result = kFtpFolderFailed;
  } else if (!isPlainRemoteName(remoteName)) {
    showError("UPLOAD_NAME", "remote name \"" + printableName(remoteName) +
                                 "\" is not a plain file name: nothing sent");
    result = kFtpPutFailed;
  } else {
    FtpOutcome outcome;
    result = ftpPutFile(session, uploadAccount(), kRemoteFolderPrefix + company.compfolder,
                        remoteName, localPath, &outcome);
    logLine("upload " + printableName(remoteName) + ": " + std::to_string(result) +
            (outcome.plainData ? ", TLS log-in, plain data"
             : outcome.tls     ? ", TLS"
                               : ", plain") +
            (outcome.again ? ", on a new connection: the kept one failed" : ""));
    if (!outcome.tlsProblem.empty())
      showError("FTP_TLS", outcome.tlsProblem + ": " + printableName(remoteName) + " not sent");
  }
  return result;
}

int uploadFile(const std::string& remoteName, const std::string& localPath,
               const CompanyInfo& company) {
  FtpSession session;
  return uploadFile(session, remoteName, localPath, company);
}

int uploadReport(const std::string& localPath, const std::string& fileName,
                 const CompanyInfo& company) {
  std::string remoteName = company.raporlamahash + "_" + fileName;
  return uploadFile(remoteName, localPath, company) >= kFtpDone ? 1 : 0;
}

int reportOnServer(FtpSession& session, const std::string& fileName, const CompanyInfo& company,
                   long long* modified) {
  *modified = -1;
  std::string remoteName = company.raporlamahash + "_" + fileName;
  if (!isPlainRemoteName(company.compfolder)) return kFtpFolderFailed;
  if (!isPlainRemoteName(remoteName)) return kFtpPutFailed;
  return ftpFileTime(session, uploadAccount(), kRemoteFolderPrefix + company.compfolder, remoteName,
                     modified);
}

}  // namespace kestrune
