#include "app/status.h"

#include <cstdio>
#include <ctime>

#include "app/app_state.h"
#include "app/health.h"
#include "periods/period.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "transfer/upload.h"

namespace kestrune {

namespace {

// "DD.MM.YYYY HH:MM:SS" in local time, "-" for none.
std::string whenText(int64_t time) {
  if (time == 0) return "-";
  std::tm t = localTimeOf(time);
  char text[64];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", t.tm_mday, t.tm_mon + 1,
                t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

const char* answerText(int answer) {
  return answer < 0 ? "-" : answer > 0 ? "yanıt verdi" : "yanıt vermedi";
}

// At most `count` characters of UTF-8 text on one line: never half a
// character, control characters as spaces.
std::string firstCharacters(const std::string& text, size_t count) {
  size_t end = 0;
  for (size_t chars = 0; end < text.size() && chars < count; ++chars) {
    ++end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  std::string out = text.substr(0, end);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return out;
}

std::vector<std::string> healthLines(const AgentStatus& status) {
  AgentHealth health = agentHealth(status);
  LastError error = lastError();
  std::vector<std::string> lines;
  lines.push_back("Son günlük rapor: " + whenText(health.lastDailyUpload));
  lines.push_back("Son aylık rapor: " + whenText(health.lastMonthlyUpload));
  std::string exportLine = "Son gider aktarımı: " + whenText(health.lastExport);
  if (health.lastExport != 0)
    exportLine += " (" + std::to_string(health.lastExportRecords) + " kayıt, " +
                  std::to_string(health.lastExportImages) + " resim)";
  lines.push_back(exportLine);
  lines.push_back("Resmini bekleyen hareket: " + std::to_string(health.imagesWaiting));
  lines.push_back("Son hata: " + whenText(error.time) +
                  (error.time ? " " + error.caption + ": " + firstCharacters(error.text, 80) : ""));

  lines.push_back(std::string("Veritabanı: ") + answerText(status.databaseAnswered.load()) +
                  ", FTP sunucusu: " + answerText(status.ftpAnswered.load()));
  lines.push_back("Son kapanan gün: " +
                  (health.closed.dayKnown ? dayText(health.closed.lastDay) : std::string("-")));
  lines.push_back("Son kapanan ay: " + (health.closed.monthKnown
                                            ? monthText(health.closed.lastMonth)
                                            : std::string("-")));
  return lines;
}

}  // namespace

StatusPanel readStatusPanel(const SharedState& shared) {
  StatusPanel panel;
  CompanyInfo company = companyRecord(shared);
  const AgentStatus& status = shared.status;
  panel.companyName = utf8ToUtf16(company.compname);
  if (panel.companyName.size() > 128) panel.companyName.resize(128);
  panel.branchName = utf8ToUtf16(company.branchName);
  panel.branchNo = company.branchNo;
  panel.companyFolder = company.compfolder;
  panel.dailyReportsSent = status.dailyReportsSent.load();
  panel.monthlyReportsSent = status.monthlyReportsSent.load();
  panel.exportRequests = status.exportRequests.load();
  panel.exportsCompleted = status.exportsCompleted.load();
  panel.counterRequests = status.counterRequests.load();
  panel.healthLines = healthLines(status);
  return panel;
}

}  // namespace kestrune
