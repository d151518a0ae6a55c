// The status panel as text, the same on every system.
#include <cstdio>

#include "platform/control.h"
#include "platform/text.h"

namespace kestrune {

namespace {

// Database text as a terminal may show it: control characters (an escape
// sequence stored in a name could drive the user's terminal) become '?'.
std::string shown(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

}  // namespace

std::string statusPanelText(const StatusPanel& panel) {
  std::string out;
  out += "Firma: " + shown(utf16ToUtf8(panel.companyName)) + "\n";
  out += "Şube: " + shown(utf16ToUtf8(panel.branchName)) + "\n";
  out += "ŞubeNo: " + std::to_string(panel.branchNo) + "\n";
  out += "company_folder: " + shown(panel.companyFolder) + "\n";
  out += "Success_Daily Report: " + std::to_string(panel.dailyReportsSent) + "\n";
  out += "Success_Monthly Report: " + std::to_string(panel.monthlyReportsSent) + "\n";
  out += "Export requests: " + std::to_string(panel.exportRequests) +
         ", completed: " + std::to_string(panel.exportsCompleted) + "\n";
  out += "Counter requests: " + std::to_string(panel.counterRequests) + "\n";
  for (const std::string& line : panel.healthLines) out += line + "\n";
  return out;
}

}  // namespace kestrune
