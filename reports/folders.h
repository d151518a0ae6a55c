// The local folders of the agent, fixed at start-up.
#pragma once

#include <string>

namespace kestrune {

struct ReportFolders {
  std::u16string desktopPathWide;
  std::string rootFolder;     // C:\Melrova on Windows
  std::string expenseFolder;  // rootFolder + separator + "giderler"
  std::string salesFolder;    // rootFolder + separator + "satislar"
};

// Fills the folder names, makes sure the root and sales folders exist (a new
// installation has neither) and creates the "getir" folder on the desktop
// when the desktop is known.
void initReportFolders(ReportFolders& folders);

}  // namespace kestrune
