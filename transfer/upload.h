// Every file that leaves the workstation: the FTP upload to the restaurant's
// folder "httpdocs/customer_yedek/<compfolder>" on the maker's server.
#pragma once

#include <string>

#include "db/company.h"
#include "platform/ftp.h"

namespace kestrune {

// The account every upload uses: the compiled-in one, where the settings
// values "ftphost" (host or host:port), "ftpuser" and "ftppassword" do not
// name another, with "ftptls" (try, the default; require; off). A value of
// ftptls that is none of those, or one this build cannot honour, is
// reported once and leaves the default.
FtpAccount uploadAccount();

// At start-up: reports a password in a settings file other users can read
// (never the password itself) and an ftptls value that cannot be honoured.
void checkUploadSettings();

// 9 when sent; -1, -2, -5 or -11 by the step that failed (see platform/ftp.h).
// Logs each upload's result and whether it went over TLS; a TLS failure is
// shown with its reason. A company folder or remote name that is not a plain
// name (it could leave the restaurant's folder) sends nothing: -5 or -11,
// with an error shown. The uploads of a run share its `session` (one
// log-in); without one an upload logs in for itself.
int uploadFile(FtpSession& session, const std::string& remoteName, const std::string& localPath,
               const CompanyInfo& company);
int uploadFile(const std::string& remoteName, const std::string& localPath,
               const CompanyInfo& company);

// A report document, as raporlamahash + "_" + fileName (e.g. "gunluk.html").
// 1 when sent, else 0.
int uploadReport(const std::string& localPath, const std::string& fileName,
                 const CompanyInfo& company);

// Whether the report `fileName` (named as uploadReport names it) is on the
// server: 1 with its time of change in *modified (-1 when the server does
// not say), 0 when not, negative when the server could not be asked or the
// names are not plain.
int reportOnServer(FtpSession& session, const std::string& fileName, const CompanyInfo& company,
                   long long* modified);

}  // namespace kestrune
