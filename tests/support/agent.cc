#include "tests/support/agent.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/servers.h"
#include "tests/support/wait.h"

namespace kestrune::test {

using Clock = std::chrono::steady_clock;

bool Child::wait(double seconds) {
  if (exited) return true;
  auto until = Clock::now() + std::chrono::duration<double>(seconds);
  do {
    if (::waitpid(pid, &status, WNOHANG) == pid) return exited = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (Clock::now() < until);
  return false;
}

int Child::exitCode() const { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

Child::Child(Child&& other) noexcept : pid(other.pid), status(other.status), exited(other.exited) {
  other.pid = -1;
}

Child::~Child() {
  if (pid > 0 && !exited) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
}

Child spawn(const std::vector<std::string>& args, const std::string& logPath) {
  Child c;
  c.pid = ::fork();
  if (c.pid == 0) {
    FILE* log = std::fopen(logPath.c_str(), "a");
    if (log) {
      ::dup2(::fileno(log), 1);
      ::dup2(::fileno(log), 2);
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  return c;
}

std::string agentBinary() {
  const char* dir = std::getenv("KESTRUNE_BINARY_DIR");
  return std::string(dir ? dir : ".") + "/kestrune";
}

std::vector<std::string> agentCommand(const std::vector<std::string>& args) {
  std::vector<std::string> all;
  const char* launcher = std::getenv("KESTRUNE_AGENT_LAUNCHER");
  if (launcher) {
    std::istringstream words(launcher);
    for (std::string w; words >> w;) all.push_back(w);
  }
  all.push_back(agentBinary());
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

int runCli(const std::vector<std::string>& args, std::string* out, double seconds) {
  std::string log = testDir() + "/cli.out";
  std::remove(log.c_str());
  Child c = spawn(agentCommand(args), log);
  EXPECT_TRUE(c.wait(seconds)) << "kestrune did not end within " << seconds << " s";
  if (out) *out = readFile(log);
  return c.exitCode();
}

std::string controlSocketPath(const std::string& runDir) {
  return runDir + "/kestrune-" + std::to_string(::getuid()) + ".sock";
}

Child startAgent(const std::string& socketPath, const std::string& logPath, double* startSeconds) {
  for (int attempt = 0;; ++attempt) {
    Child c = spawn(agentCommand(), logPath);
    auto started = Clock::now();
    waitFor([&] { return fileExists(socketPath) || c.wait(0); });
    if (startSeconds) *startSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    if (fileExists(socketPath) || !c.exited || c.exitCode() != 1 || attempt == 30) return c;
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
}

int openDescriptors(const std::string& pid) {
  int n = 0;
  DIR* d = ::opendir(("/proc/" + pid + "/fd").c_str());
  if (!d) return -1;
  while (dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
  ::closedir(d);
  return n;
}

long residentKb(const std::string& pid) {
  std::ifstream status("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

}  // namespace kestrune::test
