// Every file that leaves the workstation: the FTP upload to the restaurant's
// folder "httpdocs/customer_yedek/<compfolder>" on the maker's server.
#pragma once

#include <string>

#include "db/company.h"
#include "platform/ftp.h"
#include "platform/window.h"

namespace kestrune {

// The account every upload uses; the host is the compiled-in default unless
// the settings value "ftphost" (host or host:port) names another.
FtpAccount uploadAccount();

// 9 when sent; -1, -2, -5 or -11 by the step that failed (see platform/ftp.h).
// A company folder or remote name that is not a plain name (it could leave
// the restaurant's folder) sends nothing: -5 or -11, with an error shown.
// Asks the status window to repaint after -5 and -11.
int uploadFile(WindowHandle statusWindow, const std::string& remoteName,
               const std::string& localPath, const CompanyInfo& company);

// The result of the last uploadFile of this process; 0 while there was none.
int lastUploadResult();

// A report document, as raporlamahash + "_" + fileName (e.g. "gunluk.html").
// 1 when sent, else 0.
int uploadReport(WindowHandle statusWindow, const std::string& localPath,
                 const std::string& fileName, const CompanyInfo& company);

}  // namespace kestrune
