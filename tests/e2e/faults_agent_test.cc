// The agent as a process when things go wrong around it: no settings or an
// address too long for its field, the database away at start-up, and every
// kind of bad client on the control socket, another user's included.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/control.h"
#include "tests/support/agent.h"
#include "tests/support/faults.h"
#include "tests/support/wait.h"

namespace kestrune {
namespace {

using test::Child;
using test::Clock;
using test::secondsSince;

class AgentFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    shop.seed();
    useRunDir(test::freshFolder("run"));
    agentLog = test::testDir() + "/agent.log";
    std::remove(agentLog.c_str());
  }
  void TearDown() override {
    if (!shop.db->running()) shop.db->resume();
    ::unsetenv("XDG_RUNTIME_DIR");
    if (!sharedRunDir.empty()) std::filesystem::remove_all(sharedRunDir);
  }
  void useRunDir(const std::string& dir) {
    runDir = dir;
    ::setenv("XDG_RUNTIME_DIR", runDir.c_str(), 1);
    socket = test::controlSocketPath(runDir);
  }
  // A run folder that other users can reach whatever the checkout's location
  // (the test folder may lie below a home of mode 0700): a folder of the
  // test's own in /tmp, mode 0711.
  void useRunDirOtherUsersReach() {
    char name[] = "/tmp/kestrune-test-XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(name)) << std::strerror(errno);
    sharedRunDir = name;
    ASSERT_EQ(0, ::chmod(name, 0711)) << std::strerror(errno);
    useRunDir(sharedRunDir);
  }
  Child startAgent() { return test::startAgent(socket, agentLog, &startSeconds); }
  void stopAgent(Child& agent) {
    ::kill(agent.pid, SIGTERM);
    ASSERT_TRUE(agent.wait(30));
    EXPECT_EQ(0, agent.exitCode());
    EXPECT_FALSE(test::fileExists(socket));
  }
  std::string status() {
    std::string out;
    EXPECT_EQ(0, test::runCli({"status"}, &out, 30)) << out;
    return out;
  }

  test::Restaurant shop;
  std::string runDir, socket, agentLog, sharedRunDir;
  double startSeconds = 0;
};

TEST_F(AgentFaults, SigtermEndsARunHeldInASlowReadWithinSeconds) {
  ::setenv("KESTRUNE_TICK_MS", "5", 1);  // a daily run every 3 s
  Child agent = startAgent();
  ::unsetenv("KESTRUNE_TICK_MS");
  ASSERT_TRUE(test::fileExists(socket)) << test::readFile(agentLog);
  // Another session holds the sales table: the next run's read waits for it.
  Child lock = test::spawn({"mariadb", "--no-defaults", "-S", shop.db->dir + "/sock", "-uroot",
                            "-e", "LOCK TABLES satislar.shopcharts WRITE; DO SLEEP(600)"},
                           test::testDir() + "/lock.log");
  ASSERT_TRUE(shop.waitForStatement("shopcharts")) << "a report run held in its read";
  auto asked = Clock::now();
  EXPECT_NE(std::string::npos, status().find("company_folder: demo\n"));
  EXPECT_LT(secondsSince(asked), 2.0) << "the status waited for the run";

  auto signalled = Clock::now();
  ::kill(agent.pid, SIGTERM);
  ASSERT_TRUE(agent.wait(30));
  double ended = secondsSince(signalled);
  EXPECT_EQ(0, agent.exitCode());
  EXPECT_LT(ended, 8.0);
  EXPECT_FALSE(test::fileExists(socket));
  for (auto& e : std::filesystem::recursive_directory_iterator(shop.root))
    EXPECT_NE(".tmp", e.path().extension()) << e.path();
}

int connectTo(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un sa{};
  sa.sun_family = AF_UNIX;
  std::strncpy(sa.sun_path, path.c_str(), sizeof sa.sun_path - 1);
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

// Asks for the status as another user; what that client got back. A socket
// the user cannot even see (a folder on the way keeps it out) is told apart
// from one it sees but may not connect to.
std::string statusAsNobody(const std::string& socketPath) {
  std::string command =
      "setpriv --reuid=nobody --regid=nogroup --clear-groups /usr/bin/python3 -c '"
      "import os,socket,sys\n"
      "try:\n"
      "  os.stat(sys.argv[1])\n"
      "except OSError as e:\n"
      "  print(\"unreachable:\", e.strerror); sys.exit()\n"
      "s=socket.socket(socket.AF_UNIX)\n"
      "try:\n"
      "  s.connect(sys.argv[1])\n"
      "except OSError as e:\n"
      "  print(\"refused:\", e.strerror); sys.exit()\n"
      "try:\n"
      "  s.sendall(b\"status\\n\"); s.shutdown(socket.SHUT_WR)\n"
      "except OSError:\n"
      "  pass\n"
      "print(\"answer:\", s.recv(4096).decode(errors=\"replace\").strip())\n"
      "' " +
      socketPath + " 2>&1";
  std::FILE* p = ::popen(command.c_str(), "r");
  std::string out;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

TEST_F(AgentFaults, BadClientsOnTheControlSocket) {
  ASSERT_NO_FATAL_FAILURE(useRunDirOtherUsersReach());
  Child agent = startAgent();
  ASSERT_TRUE(test::fileExists(socket)) << test::readFile(agentLog);
  std::string pid = std::to_string(agent.pid);
  status();
  int fdsBefore = test::openDescriptors(pid);

  // junk
  int fd = connectTo(socket);
  ASSERT_GE(fd, 0);
  std::string junk = std::string("\x01\xff\x00zz", 5) + "\n";
  ::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL);
  EXPECT_EQ(0u, readAll(fd).rfind("error: unknown request", 0));
  ::close(fd);

  // 1 MiB without a line end
  fd = connectTo(socket);
  std::string big(1 << 20, 'x');
  std::thread writer([&] { ::send(fd, big.data(), big.size(), MSG_NOSIGNAL); });
  EXPECT_EQ("error: request too long\n", readAll(fd));
  ::shutdown(fd, SHUT_RDWR);
  writer.join();
  ::close(fd);

  // A request, then bytes without end: answered at once, and the agent
  // serves others meanwhile.
  fd = connectTo(socket);
  std::atomic<bool> writing{true};
  std::thread flood([&] {
    std::string more = "status\n" + std::string(64 * 1024, 'y');
    auto started = Clock::now();
    while (writing && secondsSince(started) < 20 &&
           ::send(fd, more.data(), more.size(), MSG_NOSIGNAL) > 0) {
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  auto asked = Clock::now();
  std::string answer;
  EXPECT_EQ(0, sendToAgent("status", &answer));
  double served = secondsSince(asked);
  writing = false;
  flood.join();
  EXPECT_EQ(0u, readAll(fd).rfind("Firma: Köşk\n", 0));
  ::close(fd);
  EXPECT_LT(served, 3.0);

  // Half a request, then silence: the client's time runs out.
  fd = connectTo(socket);
  ::send(fd, "sta", 3, MSG_NOSIGNAL);
  auto started = Clock::now();
  std::string got = readAll(fd);
  double waited = secondsSince(started);
  ::close(fd);
  EXPECT_EQ("error: no request within 5 seconds\n", got);
  EXPECT_LT(waited, 7.0);

  // 200 clients at once
  std::vector<std::thread> clients;
  std::atomic<int> ok{0};
  started = Clock::now();
  for (int i = 0; i < 200; ++i)
    clients.emplace_back([&] {
      std::string a;
      if (sendToAgent("status", &a) == 0 && a.find("company_folder: demo") != std::string::npos)
        ++ok;
    });
  for (auto& t : clients) t.join();
  EXPECT_EQ(200, ok.load());

  // Another user, who reaches the socket: its mode keeps the user out; with
  // the mode opened, the agent itself refuses the user.
  std::string other = statusAsNobody(socket);
  EXPECT_EQ("refused: Permission denied\n", other);
  ASSERT_EQ(0, ::chmod(socket.c_str(), 0666));
  other = statusAsNobody(socket);
  EXPECT_EQ("answer: error: refused: this agent serves its own user only\n", other);

  EXPECT_NE(std::string::npos, status().find("company_folder: demo"));
  int fdsAfter = -1;
  test::waitFor([&] { return (fdsAfter = test::openDescriptors(pid)) == fdsBefore; },
                std::chrono::seconds(5));
  EXPECT_EQ(fdsBefore, fdsAfter) << "descriptors of the agent before and after";
  stopAgent(agent);
}

// A client polling the agent is never taken for a second agent, however
// often it is caught starting; a second agent is refused and says why.
TEST_F(AgentFaults, StartsBesidePollingClientsAndASecondAgentSaysWhy) {
  std::string poll = "while :; do '" + test::agentBinary() + "' status >/dev/null 2>&1; done";
  std::vector<Child> pollers;
  for (int i = 0; i < 3; ++i)
    pollers.push_back(test::spawn({"/bin/sh", "-c", poll}, test::testDir() + "/poll.log"));
  int refused = 0;
  const int starts = 40;
  for (int i = 0; i < starts; ++i) {
    Child agent = test::spawn(test::agentCommand(), agentLog);
    auto started = Clock::now();
    while (secondsSince(started) < 60 && !test::fileExists(socket) && !agent.wait(0))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (agent.exited) {
      ++refused;
      continue;
    }
    if (i == starts - 1) {
      Child second = test::spawn(test::agentCommand(), test::testDir() + "/second.log");
      ASSERT_TRUE(second.wait(30));
      EXPECT_EQ(1, second.exitCode());
      std::string said = "not started: another agent of this user runs (it holds " + runDir +
                         "/kestrune-agent.lock)";
      EXPECT_NE(std::string::npos, test::readFile(test::testDir() + "/second.log").find(said));
      EXPECT_NE(std::string::npos,
                test::readFile(shop.root + "/kestrune.log").find("start refused: "));
    }
    stopAgent(agent);
  }
  for (Child& poller : pollers) ::kill(poller.pid, SIGKILL);
  EXPECT_EQ(0, refused) << "of " << starts << " starts\n" << test::readFile(agentLog);
}

// Without XDG_RUNTIME_DIR the socket lives in a folder of the user's own,
// never in a shared one; a socket that another user made is not talked to.
TEST_F(AgentFaults, SocketFolderIsTheUsersOwnAndClientsTalkToTheirOwnUserOnly) {
  ::unsetenv("XDG_RUNTIME_DIR");
  std::string folder = std::string(std::getenv("HOME")) + "/.cache/kestrune";
  std::filesystem::remove_all(folder);
  socket = test::controlSocketPath(folder);
  Child agent = startAgent();
  ASSERT_TRUE(test::fileExists(socket)) << test::readFile(agentLog);
  struct stat st {};
  ASSERT_EQ(0, ::lstat(folder.c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 0777);
  status();
  // a client with a session's XDG_RUNTIME_DIR (no socket there) finds it too
  ::setenv("XDG_RUNTIME_DIR", runDir.c_str(), 1);
  status();
  ::unsetenv("XDG_RUNTIME_DIR");
  stopAgent(agent);

  ASSERT_EQ(0, ::chmod(folder.c_str(), 0755));  // a folder others may enter is not used
  std::string out;
  EXPECT_EQ(2, test::runCli({"status"}, &out));
  EXPECT_NE(std::string::npos, out.find("mode 0700")) << out;
  ASSERT_EQ(0, ::chmod(folder.c_str(), 0700));

  // Another user's listener where this user's agent would be.
  ASSERT_NO_FATAL_FAILURE(useRunDirOtherUsersReach());
  ASSERT_EQ(0, ::chmod(runDir.c_str(), 01777));
  std::string listener =
      "setpriv --reuid=nobody --regid=nogroup --clear-groups /usr/bin/python3 -c '"
      "import socket,sys\n"
      "s=socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen()\n"
      "c,_=s.accept(); c.sendall(b\"ok: export finished\\n\"); c.close()\n"
      "' " +
      socket;
  Child fake = test::spawn({"/bin/sh", "-c", listener}, test::testDir() + "/fake.log");
  test::waitFor([&] { return test::fileExists(socket); }, std::chrono::seconds(5));
  EXPECT_EQ(2, test::runCli({"send", "0x488"}, &out));
  EXPECT_NE(std::string::npos, out.find("refused: " + socket + " is served by user")) << out;
  ::kill(fake.pid, SIGTERM);
  fake.wait(10);
}

}  // namespace
}  // namespace kestrune
