#include "app/status.h"

#include "app/app_state.h"
#include "platform/text.h"

namespace kestrune {

StatusPanel readStatusPanel(const AppState& app) {
  StatusPanel panel;
  CompanyInfo company = companyRecord(app);
  panel.companyName = utf8ToUtf16(company.compname);
  if (panel.companyName.size() > 128) panel.companyName.resize(128);
  panel.branchName = utf8ToUtf16(company.branchName);
  panel.branchNo = company.branchNo;
  panel.companyFolder = company.compfolder;
  panel.dailyReportsSent = app.dailyReportsSent.load();
  panel.monthlyReportsSent = app.monthlyReportsSent.load();
  panel.exportRequests = app.exportRequests.load();
  panel.exportsCompleted = app.exportsCompleted.load();
  panel.counterRequests = app.counterRequests.load();
  return panel;
}

}  // namespace kestrune
