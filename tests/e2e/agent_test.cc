// The agent as a process: start-up, the first report, the control socket,
// exports on request, the single-instance guard and a clean exit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <thread>

#include "tests/support/agent.h"
#include "tests/support/faults.h"
#include "tests/support/wait.h"

namespace kestrune {
namespace {

using test::Child;
using test::Clock;
using test::runCli;
using test::spawn;

class Agent : public ::testing::Test {
 protected:
  void SetUp() override {
    shop.seed();
    db = shop.db;
    ftp = shop.ftp;
    root = shop.root;
    // both moves with a receipt image
    db->exec("UPDATE expenses.moves SET imgfilename = CONCAT('fis', Id, '.jpg')");
    test::createFolderTree(root + "/giderler");
    test::writeFile(root + "/giderler/fis1.jpg", "JPEG-1");
    test::writeFile(root + "/giderler/fis2.jpg", "JPEG-2");
    runDir = test::freshFolder("run");
    ::setenv("XDG_RUNTIME_DIR", runDir.c_str(), 1);
    socket = test::controlSocketPath(runDir);
    agentLog = test::testDir() + "/agent.log";
    std::remove(agentLog.c_str());
  }
  void TearDown() override { ::unsetenv("XDG_RUNTIME_DIR"); }

  Child startAgent() { return test::startAgent(socket, agentLog); }

  test::Restaurant shop;
  test::MariaDb* db = nullptr;
  test::FtpServer* ftp = nullptr;
  std::string root, runDir, socket, agentLog;
};

TEST_F(Agent, FirstReportIsUploadedBeforeRequestsAreServed) {
  Child agent = startAgent();
  ASSERT_TRUE(test::fileExists(socket)) << test::readFile(agentLog);
  // the moment the socket exists, the start-up report is on the server
  EXPECT_TRUE(test::fileExists(ftp->remotePath("demo", "h1_gunluk.html")));

  std::string status;
  EXPECT_EQ(0, runCli({"status"}, &status));
  EXPECT_NE(std::string::npos, status.find("Firma: Köşk\n")) << status;
  EXPECT_NE(std::string::npos, status.find("ŞubeNo: 0\n"));
  EXPECT_NE(std::string::npos, status.find("company_folder: demo\n"));
  EXPECT_NE(std::string::npos, status.find("Success_Daily Report: 1\n"));
  EXPECT_NE(std::string::npos, status.find("Success_Monthly Report: 0\n"));
  char today[16];
  std::time_t now = std::time(nullptr);
  std::strftime(today, sizeof today, "%d.%m.%Y", std::localtime(&now));
  EXPECT_NE(std::string::npos, status.find(std::string("\nSon günlük rapor: ") + today)) << status;
  EXPECT_NE(std::string::npos, status.find("\nSon hata: -\n")) << status;
  EXPECT_NE(std::string::npos,
            status.find("\nVeritabanı: yanıt verdi, FTP sunucusu: yanıt verdi\n"));

  EXPECT_EQ(0, runCli({"send", "0x490"}));
  EXPECT_EQ(0, runCli({"status"}, &status));
  EXPECT_NE(std::string::npos, status.find("Counter requests: 1\n")) << status;
  EXPECT_NE(std::string::npos, status.find("Export requests: 0, completed: 0\n")) << status;
  EXPECT_EQ(3, runCli({"run", "daily"})) << "a one-shot run refuses while the agent runs";

  // a report now: answered when it is on the server, 1 with the reason when not
  std::string report = ftp->remotePath("demo", "h1_gunluk.html");
  std::remove(report.c_str());
  std::string out;
  EXPECT_EQ(0, runCli({"report"}, &out)) << out;
  EXPECT_EQ(0u, out.rfind("ok: daily report uploaded (", 0)) << out;
  EXPECT_TRUE(test::fileExists(report));
  std::string folder = report.substr(0, report.rfind('/'));
  ASSERT_EQ(0, std::rename(folder.c_str(), (folder + ".away").c_str()));
  EXPECT_EQ(1, runCli({"report"}, &out));
  std::rename((folder + ".away").c_str(), folder.c_str());
  EXPECT_NE(std::string::npos, out.find("error: daily report not uploaded: the upload failed"))
      << out;

  ::kill(agent.pid, SIGTERM);
  ASSERT_TRUE(agent.wait(30));
  EXPECT_EQ(0, agent.exitCode());
  EXPECT_FALSE(test::fileExists(socket));
  EXPECT_EQ("", test::readFile(agentLog));
  std::string log = test::readFile(root + "/kestrune.log");
  for (const char* line :
       {"start-up: kestrune ", "daily report: uploaded (0 products)\n", "agent stopped\n"})
    EXPECT_NE(std::string::npos, log.find(line)) << line << " in\n" << log;
}

TEST_F(Agent, ExportRequestAnswersWhenEverythingIsOnTheServer) {
  Child agent = startAgent();
  ASSERT_TRUE(test::fileExists(socket)) << test::readFile(agentLog);
  size_t mark = test::readFile(ftp->log).size();
  // two requests at once: two whole exports, one after the other
  std::string outA, outB;
  std::thread a([&] { EXPECT_EQ(0, runCli({"send", "0x488"}, &outA)); });
  std::thread b([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(0, runCli({"send", "0x488"}, &outB));
  });
  a.join();
  b.join();
  EXPECT_EQ(3u * 544, test::readFile(ftp->remotePath("demo", "gider.dat")).size());
  EXPECT_EQ("JPEG-1", test::readFile(ftp->remotePath("demo", "fis1.jpg")));
  EXPECT_EQ("JPEG-2", test::readFile(ftp->remotePath("demo", "fis2.jpg")));
  EXPECT_EQ("1", db->scalar("SELECT MIN(islendi) FROM expenses.moves"));
  std::string status;
  EXPECT_EQ(0, runCli({"status"}, &status));
  EXPECT_NE(std::string::npos, status.find("Export requests: 2, completed: 2\n")) << status;

  // the server saw: gider.dat, both images, then the second gider.dat
  std::string log = test::readFile(ftp->log).substr(mark);
  std::vector<std::string> stored;
  for (size_t at = log.find("<- STOR "); at != std::string::npos; at = log.find("<- STOR ", at + 1))
    stored.push_back(log.substr(at + 8, log.find('\n', at) - at - 8));
  EXPECT_EQ((std::vector<std::string>{"gider.dat", "fis1.jpg", "fis2.jpg", "gider.dat"}), stored);

  // the counts of the export that sent both images again; then the server is down
  db->exec("UPDATE expenses.moves SET islendi = 0");
  std::string out;
  EXPECT_EQ(0, runCli({"send", "0x488"}, &out));
  EXPECT_EQ("ok: export finished, gider.dat uploaded (3 records, 2 images)\n", out);
  ftp->stop();
  EXPECT_EQ(1, runCli({"send", "0x488"}, &out));
  ftp->start();
  EXPECT_EQ("error: export finished, gider.dat not uploaded: the upload of gider.dat failed\n",
            out);

  ::kill(agent.pid, SIGINT);
  ASSERT_TRUE(agent.wait(30));
  EXPECT_EQ(0, agent.exitCode());
}

TEST_F(Agent, ASecondCopyLeavesAtOnceWithoutTouchingTheDatabase) {
  // Neither a process whose name differs only in case nor one of the agent's
  // name started with arguments (a client such as `kestrune send 0x488`
  // waiting for its export) counts as a copy of the agent.
  std::string other = test::testDir() + "/Kestrune";
  test::writeFile(other, test::readFile("/bin/sleep"));
  ::chmod(other.c_str(), 0755);
  Child lookalike = spawn({other, "60"}, test::testDir() + "/lookalike.log");
  test::createFolderTree(test::testDir() + "/client");
  std::string client = test::testDir() + "/client/kestrune";
  test::writeFile(client, test::readFile("/bin/sleep"));
  ::chmod(client.c_str(), 0755);
  Child waitingClient = spawn({client, "60"}, test::testDir() + "/client.log");

  Child agent = startAgent();
  ASSERT_TRUE(test::fileExists(socket)) << test::readFile(agentLog);
  std::string before = db->scalar("SHOW GLOBAL STATUS LIKE 'Connections'");
  before = db->query("SHOW GLOBAL STATUS LIKE 'Connections'")[0][1];
  auto started = Clock::now();
  std::string out;
  EXPECT_EQ(1, runCli({}, &out));
  EXPECT_LT(test::secondsSince(started), 10.0);
  std::string after = db->query("SHOW GLOBAL STATUS LIKE 'Connections'")[0][1];
  // the admin query itself is one connection
  EXPECT_EQ(std::stoll(before) + 1, std::stoll(after));
  EXPECT_EQ(0, runCli({"status"}));  // the first copy still serves

  ::kill(agent.pid, SIGTERM);
  EXPECT_TRUE(agent.wait(30));
  EXPECT_EQ(0, agent.exitCode());
}

// The agent and a one-shot run write the same files: whoever holds the lock
// in the root folder writes, a one-shot run refuses and the agent waits.
TEST_F(Agent, OneShotRunAndAgentNeverWriteAtOnce) {
  test::createFolderTree(root);
  int held = ::open((root + "/kestrune.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(0, ::flock(held, LOCK_EX));
  EXPECT_EQ(3, runCli({"run", "daily"}));
  Child agent = test::spawn(test::agentCommand(), agentLog);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_FALSE(test::fileExists(socket)) << "the agent waits for the lock";
  ::close(held);
  test::waitFor([&] { return test::fileExists(socket); }, std::chrono::seconds(30));
  EXPECT_TRUE(test::fileExists(ftp->remotePath("demo", "h1_gunluk.html")));
  EXPECT_EQ(3, runCli({"run", "daily"}));
  ::kill(agent.pid, SIGTERM);
  EXPECT_TRUE(agent.wait(30));
}

TEST_F(Agent, OneShotRunsSayWhetherTheyUploaded) {
  EXPECT_EQ(0, runCli({"run", "daily"}));
  EXPECT_TRUE(test::fileExists(ftp->remotePath("demo", "h1_gunluk.html")));
  EXPECT_EQ(0, runCli({"run", "export"}));
  EXPECT_EQ("JPEG-1", test::readFile(ftp->remotePath("demo", "fis1.jpg")));
  db->exec("UPDATE company.maininfo SET compfolder = 'missing'");
  EXPECT_EQ(1, runCli({"run", "daily"}));
  EXPECT_EQ(2, runCli({"run", "weekly"}));
  std::string out;
  EXPECT_EQ(0, runCli({"--version"}, &out));
  EXPECT_EQ(0u, out.rfind("kestrune ", 0));
  EXPECT_EQ(0, runCli({"--help"}, &out));
  EXPECT_NE(std::string::npos, out.find("send 0x488"));
  EXPECT_NE(std::string::npos, out.find("kestrune report"));
  EXPECT_EQ(3, runCli({"report"}, &out)) << "no agent answers";
  EXPECT_EQ(2, runCli({"send", "0x123"}));
  EXPECT_EQ(2, runCli({"status"}, &out)) << "no agent runs";
  EXPECT_NE(std::string::npos, out.find("no agent answers"));
}

// The owner's page beside the daily report: every figure as the database
// gives it, read here with statements of the test's own.
TEST_F(Agent, OwnerPageBesideTheDailyReportShowsTheDatabasesFigures) {
  // receipts of this business day, of the same weekday one and three weeks
  // back (before and after the clock time) and one standing in both tables
  const char* rows[] = {"(11,3,500,250.25,0,0,0,20,30,0,0,NOW() - INTERVAL 2 MINUTE)",
                        "(12,2,100,0,0,0,49.75,0,0,0,0,NOW() - INTERVAL 1 MINUTE)",
                        "(21,3,400,0,0,0,0,0,0,0,0,NOW() - INTERVAL 7 DAY - INTERVAL 3 MINUTE)",
                        "(22,3,9999,0,0,0,0,0,0,0,0,NOW() - INTERVAL 7 DAY + INTERVAL 5 MINUTE)",
                        "(31,1,0,300,0,0,0,0,0,0,0,NOW() - INTERVAL 21 DAY - INTERVAL 4 MINUTE)"};
  const char head[] =
      "INSERT INTO satislar.%s (transid,ordtyp,cashsum,credsum,ceksum,senetsum,carisum,"
      "ikramsum,isknt,puantaj,toplam,tmstmp) VALUES ";
  char text[256];
  std::snprintf(text, sizeof text, head, "shopcharts");
  db->exec(std::string(text) + rows[0] + "," + rows[1] + "," + rows[2] + "," + rows[3]);
  std::snprintf(text, sizeof text, head, "shpchrtarch");
  db->exec(std::string(text) + rows[4]);
  db->exec("INSERT INTO satislar.shpchrtarch SELECT * FROM satislar.shopcharts WHERE transid = 12");

  Child agent = startAgent();
  ASSERT_TRUE(test::fileExists(socket)) << test::readFile(agentLog);
  ::kill(agent.pid, SIGTERM);
  ASSERT_TRUE(agent.wait(30));
  std::string page = test::readFile(ftp->remotePath("demo", "h1_gunluk_ozet.html"));
  ASSERT_FALSE(page.empty());
  EXPECT_TRUE(test::fileExists(root + "/satislar/gunluk_ozet.html"));

  // net, receipts and average of the business day `weeks` weeks back, up to the clock time
  auto figures = [this](int weeks) {
    std::string at = "NOW() - INTERVAL " + std::to_string(7 * weeks) + " DAY";
    std::string from = "(DATE(" + at + " - INTERVAL 6 HOUR) + INTERVAL 6 HOUR)";
    std::string rowsOf =
        "(SELECT * FROM satislar.shopcharts UNION SELECT * FROM "
        "satislar.shpchrtarch) r WHERE tmstmp >= " +
        from + " AND tmstmp <= " + at;
    std::string net = "SUM(cashsum+credsum+ceksum+senetsum+carisum+puantaj)";
    return db->scalar("SELECT CONCAT(FORMAT(" + net + ",2,'tr_TR'),'|',COUNT(*),'|'," +
                      "IFNULL(FORMAT(" + net + "/COUNT(*),2,'tr_TR'),'-')) FROM " + rowsOf);
  };
  std::string today = figures(0), lastWeek = figures(1), threeWeeks = figures(3);
  EXPECT_EQ("900,00|2|450,00", today);
  EXPECT_EQ("400,00|1|400,00", lastWeek);
  EXPECT_EQ("300,00|1|300,00", threeWeeks);
  auto part = [](const std::string& all, int n) {
    size_t at = 0;
    for (int i = 0; i < n; ++i) at = all.find('|', at) + 1;
    return all.substr(at, all.find('|', at) - at);
  };
  EXPECT_NE(std::string::npos, page.find("Net satış<b>" + part(today, 0) + " ₺</b>")) << page;
  EXPECT_NE(std::string::npos, page.find("Fiş sayısı<b>" + part(today, 1) + "</b>"));
  EXPECT_NE(std::string::npos, page.find("Ortalama fiş<b>" + part(today, 2) + " ₺</b>"));
  // against last week (400) and the average of the two weeks that had sales (350)
  std::string change = db->scalar("SELECT FORMAT((900 - 400) * 100 / 400, 1, 'tr_TR')");
  EXPECT_NE(std::string::npos,
            page.find("Geçen hafta (aynı saate kadar): " + part(lastWeek, 0) + " ₺ ▲ %" + change));
  std::string average = db->scalar("SELECT FORMAT((400 + 300) / 2, 2, 'tr_TR')");
  change = db->scalar("SELECT FORMAT((900 - 350) * 100 / 350, 1, 'tr_TR')");
  EXPECT_NE(std::string::npos,
            page.find("4 hafta ort. (aynı saate kadar): " + average + " ₺ ▲ %" + change));
  EXPECT_NE(std::string::npos, page.find("İskonto<b>30,00 ₺</b>"));
  EXPECT_NE(std::string::npos, page.find("İkram<b>20,00 ₺</b>"));
  EXPECT_NE(std::string::npos, page.find("ARA "));
  // the report beside it is the one it always was
  EXPECT_TRUE(test::fileExists(ftp->remotePath("demo", "h1_gunluk.html")));
}

}  // namespace
}  // namespace kestrune
