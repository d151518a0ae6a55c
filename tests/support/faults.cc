#include "tests/support/faults.h"

#include "tests/support/wait.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/clock.h"
#include "platform/text.h"

namespace kestrune::test {

int64_t localStamp(int year, int month, int day, int hour, int minute, int second) {
  testDir();  // sets TZ
  std::tm t{};
  t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
  t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second, t.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&t));
}

void fixClock(int64_t t) {
  setClockSource([t] { return t; });
}

std::string pageText(const std::string& cp1254) {
  std::u16string wide;
  static const char16_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0,      0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0,      0x0178};
  for (unsigned char c : cp1254) {
    char16_t w = c;
    if (c >= 0x80 && c < 0xA0) w = high[c - 0x80];
    if (c == 0xD0) w = u'Ğ';
    if (c == 0xDD) w = u'İ';
    if (c == 0xDE) w = u'Ş';
    if (c == 0xF0) w = u'ğ';
    if (c == 0xFD) w = u'ı';
    if (c == 0xFE) w = u'ş';
    wide += w;
  }
  return utf16ToUtf8(wide);
}

std::string summaryRow(const std::string& label, const std::string& amount) {
  return "<td align=\"left\"><th class=\"col5\">" + label +
         "</th></td><td align=\"left\"><th class=\"col1\">:</th></td><td align=\"right\"><th "
         "class=\"col0\">" +
         amount + "</th></td></tr>";
}

std::string productRow(const std::string& code, const std::string& name,
                       const std::string& quantity, const std::string& unit,
                       const std::string& amount) {
  return "<tr><td><th class=\"col3\">" + code + "</th></td><td><th class=\"col3\">" + name +
         "</th></td><td><th class=\"col4\">" + quantity + "</th></td><td><th class=\"col3\">" +
         unit + "</th></td><td><th class=\"col4\">" + amount + "</th></td></tr>";
}

namespace {

bool safeCell(const std::string& cell) {
  for (size_t i = 0; i < cell.size(); ++i) {
    char c = cell[i];
    if (c == '<' || c == '>' || c == '"' || c == '\n' || c == '\r') return false;
    if (c == '&') {
      bool entity = false;
      for (const char* e : {"&amp;", "&lt;", "&gt;", "&quot;"})
        entity = entity || cell.compare(i, std::strlen(e), e) == 0;
      if (!entity) return false;
    }
  }
  return true;
}

}  // namespace

std::vector<std::vector<std::string>> checkPage(const std::string& page) {
  std::vector<std::vector<std::string>> rows;
  const std::string head = "<!DOCTYPE html PUBLIC\"-//W3C//DTD XHTML 1.0 Transitional//EN\" ";
  EXPECT_EQ(0u, page.rfind(head, 0)) << "page head";
  EXPECT_EQ(std::string::npos, page.find('\n'));
  EXPECT_EQ(std::string::npos, page.find('\r'));
  const std::string end = "</th></td></tr></table></body></html>";
  EXPECT_TRUE(page.size() > end.size() &&
              page.compare(page.size() - end.size(), end.size(), end) == 0)
      << "page end";
  const std::string tableHead = "\xDCR\xDCN SATI\xDELARI</h3></tr>";
  size_t at = page.find(tableHead);
  EXPECT_NE(std::string::npos, at) << "product table";
  if (at == std::string::npos) return rows;
  at += tableHead.size();
  const std::string rowStart = "<tr><td><th class=\"col3\">";
  const char* cellEnds[] = {
      "</th></td><td><th class=\"col3\">", "</th></td><td><th class=\"col4\">",
      "</th></td><td><th class=\"col3\">", "</th></td><td><th class=\"col4\">", "</th></td></tr>"};
  while (page.compare(at, rowStart.size(), rowStart) == 0) {
    at += rowStart.size();
    std::vector<std::string> cells;
    for (const char* cellEnd : cellEnds) {
      size_t stop = page.find(cellEnd, at);
      if (stop == std::string::npos) {
        ADD_FAILURE() << "product row " << rows.size() << " is cut";
        return rows;
      }
      cells.push_back(page.substr(at, stop - at));
      EXPECT_TRUE(safeCell(cells.back())) << "row " << rows.size() << " cell " << cells.back();
      at = stop + std::strlen(cellEnd);
    }
    rows.push_back(cells);
  }
  const std::string total = "<tr bgcolor=\"#00CC00\"><td";
  EXPECT_EQ(0, page.compare(at, total.size(), total)) << "product total after the rows";
  return rows;
}

std::vector<ExpenseMove> checkExpenseFile(const std::string& bytes) {
  std::vector<ExpenseMove> records;
  EXPECT_EQ(0u, bytes.size() % sizeof(ExpenseMove)) << bytes.size() << " bytes";
  for (size_t i = 0; i + sizeof(ExpenseMove) <= bytes.size(); i += sizeof(ExpenseMove)) {
    ExpenseMove m;
    std::memcpy(&m, bytes.data() + i, sizeof m);
    EXPECT_NE(nullptr, std::memchr(m.groupName, 0, sizeof m.groupName))
        << "record " << records.size();
    EXPECT_NE(nullptr, std::memchr(m.expenseName, 0, sizeof m.expenseName))
        << "record " << records.size();
    for (char p : m.padding) EXPECT_EQ(0, p);
    records.push_back(m);
  }
  EXPECT_FALSE(records.empty());
  if (!records.empty()) {
    const ExpenseMove& e = records.back();
    EXPECT_TRUE(e.Id == -1 && e.transid == -1 && e.giderkodu == -1) << "no end record";
  }
  return records;
}

void Restaurant::seed(const std::string& rootName, int ftpPort) {
  db = &database();
  db->resetData();
  ftp = &ftpServer(ftpPort, "normal");
  clearRemote();
  root = freshFolder(rootName);
  writeSettings({{"ipno", testAddress()}, {"ftphost", ftp->settingValue()}, {"root", root}});
  db->exec(
      "INSERT INTO company.maininfo (compname,compfolder,mustID,raporlamahash) "
      "VALUES ('Köşk','demo',1,'h1')");
  db->exec(
      "INSERT INTO stocks.stckdef (stcode,stname,unit) VALUES (10,'Ayran','ADET'),"
      "(20,'Künefe','PORS')");
  db->exec(
      "INSERT INTO satislar.shopcharts (transid,ordtyp,cashsum,credsum,ceksum,senetsum,carisum,"
      "ikramsum,isknt,puantaj,toplam,tmstmp) VALUES (1,3,100,25.5,0,0,0,0,0,0,125.5,"
      "'2026-03-10 12:00:00')");
  db->exec(
      "INSERT INTO oturum.orderitems (Id,transid,ordtype,adsno,orderid,itemid,itemidx,stcode,"
      "adet,qua,prc,tutar,status,reason,cost,kdv,time) VALUES "
      "(1,1,3,1,1,1,1,10,2,2,15,30,0,0,0,8,'2026-03-10 12:00:00'),"
      "(2,1,3,1,1,1,1,20,1,1,95.5,95.5,0,0,0,8,'2026-03-10 12:00:00')");
  db->exec("INSERT INTO expenses.grpb (acode,bcode,name) VALUES (1,1,'Faturalar')");
  db->exec("INSERT INTO expenses.expenses (code,bcode,name) VALUES (5,1,'Elektrik')");
  db->exec(
      "INSERT INTO expenses.moves (Id,transid,giderkodu,odemtip,amount,time,donem,imgfilename,"
      "islendi) VALUES "
      "(1,100,5,1,250.75,NOW(),CURDATE(),'',0),(2,101,5,1,80,NOW(),CURDATE(),'',0)");
}

void Restaurant::clearRemote() const {
  std::filesystem::path base = ftp->root + "/httpdocs/customer_yedek";
  for (auto& e : std::filesystem::recursive_directory_iterator(base))
    if (e.is_regular_file()) std::filesystem::remove(e.path());
}

std::vector<std::string> Restaurant::filesOnServer() const {
  std::vector<std::string> files;
  for (auto& e : std::filesystem::recursive_directory_iterator(ftp->root))
    if (e.is_regular_file()) files.push_back(e.path().string().substr(ftp->root.size() + 1));
  std::sort(files.begin(), files.end());
  return files;
}

bool Restaurant::waitForStatement(const std::string& text, double seconds) const {
  return waitFor(
      [&] {
        return db->scalar(
                   "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID <> "
                   "CONNECTION_ID() AND INFO LIKE '%" +
                   text + "%'") != "0";
      },
      std::chrono::milliseconds(static_cast<long>(seconds * 1000)));
}

}  // namespace kestrune::test
