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
#include <dirent.h>
#include <thread>

#include "platform/window.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

std::string socketPath() {
  return test::testDir() + "/run/kestrune-" + std::to_string(::getuid()) + ".sock";
}

int openFds() {
  int n = 0;
  DIR* d = ::opendir("/proc/self/fd");
  while (dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
  ::closedir(d);
  return n;
}

int connectRaw() {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un sa{};
  sa.sun_family = AF_UNIX;
  std::strncpy(sa.sun_path, socketPath().c_str(), sizeof sa.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string readAll(int fd) {
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) out.append(buf, static_cast<size_t>(n));
  return out;
}

class ControlSocket : public ::testing::Test {
 protected:
  void SetUp() override {
    test::freshFolder("run");
    ::setenv("XDG_RUNTIME_DIR", (test::testDir() + "/run").c_str(), 1);
    fdsBefore = openFds();
    WindowHandlers handlers;
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
    window = createMainWindow(handlers, &error);
    ASSERT_NE(nullptr, window) << error;
    loop = std::thread([this] { exitCode = runMainLoop(window); });
  }
  void TearDown() override {
    requestQuit();
    if (loop.joinable()) loop.join();
    unsetenv("XDG_RUNTIME_DIR");
  }
  int fdsBefore = 0;
  int exportMillis = 0;
  std::atomic<int> exports{0}, counters{0}, exportsRunning{0};
  std::atomic<bool> overlapped{false};
  std::atomic<bool> reportAsked{false};
  AnswerLater reportAnswer;
  WindowHandle window = nullptr;
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
  while (!reportAsked) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(0, sendToAgent("status", &answer)) << "served while the report client waits";
  reportAnswer("error: daily report not uploaded: the upload failed\n");  // not the loop's thread
  client.join();
  EXPECT_EQ("error: daily report not uploaded: the upload failed\n", got);
}

TEST_F(ControlSocket, BadRequestsGetClearErrorsAndTheLoopGoesOn) {
  std::string answer;
  EXPECT_EQ(1, sendToAgent("0x999", &answer));
  EXPECT_NE(std::string::npos, answer.find("unknown request"));

  // junk bytes
  int fd = connectRaw();
  ASSERT_GE(fd, 0);
  std::string junk = std::string("\x01\xff\x00zz", 5) + "\n";
  ::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL);
  EXPECT_EQ(0u, readAll(fd).rfind("error:", 0));
  ::close(fd);

  // 1 MiB without a line end
  fd = connectRaw();
  std::string big(1 << 20, 'x');
  std::thread writer([&] { ::send(fd, big.data(), big.size(), MSG_NOSIGNAL); });
  std::string got = readAll(fd);
  ::shutdown(fd, SHUT_RDWR);
  writer.join();
  ::close(fd);
  EXPECT_EQ("error: request too long\n", got);

  // connects and says nothing: answered after the request time, not forever
  fd = connectRaw();
  auto started = std::chrono::steady_clock::now();
  got = readAll(fd);
  double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ::close(fd);
  EXPECT_EQ(0u, got.rfind("error: no request", 0));
  EXPECT_LT(waited, 15.0);

  // half a request, then the client closes
  fd = connectRaw();
  ::send(fd, "sta", 3, MSG_NOSIGNAL);
  ::close(fd);

  EXPECT_EQ(0, sendToAgent("status", &answer));
  EXPECT_NE(std::string::npos, answer.find("company_folder: kosk"));
  EXPECT_EQ(0, exports.load());
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
  requestQuit();
  loop.join();
  EXPECT_EQ(0, exitCode);
  EXPECT_FALSE(test::fileExists(socketPath()));
  EXPECT_NE(0, sendToAgent("status", &answer));
  EXPECT_NE(std::string::npos, answer.find("no agent answers"));
  // the signal descriptor and the wake pipe are the loop's own until the next start
  EXPECT_LE(openFds(), fdsBefore + 2);
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
