// The control socket that stands in for the hidden window on Linux, served in
// a thread of the test with handlers that only count.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/control.h"
#include "tests/support/agent.h"
#include "tests/support/servers.h"
#include "tests/support/wait.h"

namespace kestrune {
namespace {

std::string socketPath() { return test::controlSocketPath(test::testDir() + "/run"); }

sockaddr_un socketAddress() {
  sockaddr_un sa{};
  sa.sun_family = AF_UNIX;
  std::strncpy(sa.sun_path, socketPath().c_str(), sizeof sa.sun_path - 1);
  return sa;
}

class ControlSocket : public ::testing::Test {
 protected:
  void SetUp() override {
    test::freshFolder("run");
    ::setenv("XDG_RUNTIME_DIR", (test::testDir() + "/run").c_str(), 1);
    fdsBefore = test::openDescriptors();
    ControlHandlers handlers;
    handlers.onExportRequest = [this] {
      int running = ++exportsRunning;
      if (running > 1) overlapped = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(exportMillis));
      --exportsRunning;
      ++exports;
      return std::string("ok: export finished\n");
    };
    handlers.onReportRequest = [this](AnswerLater answer) {
      reportAnswer = std::move(answer);
      reportAsked = true;
    };
    handlers.onCounterRequest = [this] { ++counters; };
    handlers.readStatus = [this] {
      StatusPanel p;
      p.companyName = u"Köşk Lokantası";
      p.companyFolder = "kosk";
      p.dailyReportsSent = exports.load();
      return p;
    };
    std::string error;
    ASSERT_TRUE(openControl(handlers, &error)) << error;
    loop = std::thread([this] { exitCode = serveControl(); });
  }
  void TearDown() override {
    // A quit asked for with no loop running would end the next loop at once.
    if (loop.joinable()) {
      requestEnd();
      loop.join();
    }
    unsetenv("XDG_RUNTIME_DIR");
  }
  int fdsBefore = 0;
  int exportMillis = 0;
  std::atomic<int> exports{0}, counters{0}, exportsRunning{0};
  std::atomic<bool> overlapped{false};
  std::atomic<bool> reportAsked{false};
  AnswerLater reportAnswer;
  std::thread loop;
  int exitCode = -1;
};

TEST_F(ControlSocket, AnswersTheThreeRequests) {
  struct stat st;
  ASSERT_EQ(0, ::stat(socketPath().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);

  std::string answer;
  EXPECT_EQ(0, sendToAgent("0x488", &answer));
  EXPECT_EQ(1, exports.load());
  EXPECT_EQ(0, sendToAgent("0x490", &answer));
  EXPECT_EQ(0, sendToAgent("0x490", &answer));
  EXPECT_EQ(2, counters.load());
  EXPECT_EQ(0, sendToAgent("status", &answer));
  EXPECT_EQ(
      "Firma: Köşk Lokantası\nŞube: \nŞubeNo: 0\ncompany_folder: kosk\n"
      "Success_Daily Report: 1\nSuccess_Monthly Report: 0\n"
      "Export requests: 0, completed: 0\nCounter requests: 0\n",
      answer);
}

TEST_F(ControlSocket, ExportsRunOneAfterTheOtherAndAnswerWhenDone) {
  exportMillis = 300;
  std::atomic<int> done{0};
  auto client = [&] {
    std::string answer;
    EXPECT_EQ(0, sendToAgent("0x488", &answer));
    EXPECT_EQ("ok: export finished\n", answer);
    ++done;
  };
  std::thread a(client), b(client);
  a.join();
  b.join();
  EXPECT_EQ(2, exports.load());
  EXPECT_FALSE(overlapped.load());
}

TEST_F(ControlSocket, AReportClientWaitsAsideForItsAnswer) {
  std::string got, answer;
  std::thread client([&] { EXPECT_EQ(1, sendToAgent("report", &got)); });
  test::waitFor([&] { return reportAsked.load(); });
  EXPECT_EQ(0, sendToAgent("status", &answer)) << "served while the report client waits";
  reportAnswer("error: daily report not uploaded: the upload failed\n");  // not the loop's thread
  client.join();
  EXPECT_EQ("error: daily report not uploaded: the upload failed\n", got);
}

// Junk, overlong and silent clients: faults_agent_test, against the agent.
TEST_F(ControlSocket, AnErrorAnswerFailsTheClientAndAHangUpCostsNothing) {
  std::string answer;
  EXPECT_EQ(1, sendToAgent("0x999", &answer));
  EXPECT_EQ(0u, answer.rfind("error: unknown request", 0)) << answer;

  // half a request, then the client closes
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un sa = socketAddress();
  ASSERT_EQ(0, ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa));
  ::send(fd, "sta", 3, MSG_NOSIGNAL);
  ::close(fd);

  EXPECT_EQ(0, sendToAgent("status", &answer));
  EXPECT_NE(std::string::npos, answer.find("company_folder: kosk"));
}

TEST_F(ControlSocket, ManyClientsAtOnce) {
  std::vector<std::thread> clients;
  std::atomic<int> ok{0};
  for (int i = 0; i < 200; ++i)
    clients.emplace_back([&] {
      std::string answer;
      if (sendToAgent("0x490", &answer) == 0) ++ok;
    });
  for (auto& t : clients) t.join();
  EXPECT_EQ(200, ok.load());
  EXPECT_EQ(200, counters.load());
}

TEST_F(ControlSocket, QuitRemovesTheSocketAndLeaksNoDescriptor) {
  std::string answer;
  for (int i = 0; i < 20; ++i) sendToAgent("status", &answer);
  requestEnd();
  loop.join();
  EXPECT_EQ(0, exitCode);
  EXPECT_FALSE(test::fileExists(socketPath()));
  EXPECT_NE(0, sendToAgent("status", &answer));
  EXPECT_NE(std::string::npos, answer.find("no agent answers"));
  // the signal descriptor and the wake pipe are the loop's own until the next start
  EXPECT_LE(test::openDescriptors(), fdsBefore + 2);
}

// A killed agent leaves its socket file behind with nobody listening; the
// next agent takes it over.
TEST(ControlTakeOver, TheSocketOfAKilledAgent) {
  ::setenv("XDG_RUNTIME_DIR", test::freshFolder("run").c_str(), 1);
  int dead = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un sa = socketAddress();
  ASSERT_EQ(0, ::bind(dead, reinterpret_cast<sockaddr*>(&sa), sizeof sa));
  ASSERT_EQ(0, ::listen(dead, 1));
  ::close(dead);
  ASSERT_TRUE(test::fileExists(socketPath()));
  std::string answer;
  ASSERT_EQ(2, sendToAgent("status", &answer)) << "nobody listens";

  ControlHandlers handlers;
  handlers.readStatus = [] {
    StatusPanel p;
    p.companyFolder = "kosk";
    return p;
  };
  std::string error;
  ASSERT_TRUE(openControl(handlers, &error)) << error;
  std::thread loop([] { serveControl(); });
  EXPECT_EQ(0, sendToAgent("status", &answer)) << answer;
  EXPECT_NE(std::string::npos, answer.find("company_folder: kosk"));
  requestEnd();
  loop.join();
  ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(ControlClient, NoAgentIsAClearError) {
  ::setenv("XDG_RUNTIME_DIR", test::freshFolder("empty-run").c_str(), 1);
  std::string answer;
  EXPECT_EQ(2, sendToAgent("status", &answer));
  EXPECT_NE(std::string::npos, answer.find("no agent answers"));
  unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace kestrune
