#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace kestrune::test {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string shell(const std::string& command) {
  std::FILE* p = ::popen(command.c_str(), "r");
  if (!p) throw std::runtime_error("cannot run " + command);
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  int status = ::pclose(p);
  if (status != 0)
    throw std::runtime_error("failed (status " + std::to_string(status) + "): " + command);
  return out;
}

pid_t startProcess(const ProcessSpec& spec, int* pipeOut, int* pipeIn) {
  int fds[2] = {-1, -1};
  int ins[2] = {-1, -1};
  if (spec.output.empty() && ::pipe(fds) != 0) throw std::runtime_error("pipe");
  if (spec.input.empty() && ::pipe(ins) != 0) throw std::runtime_error("pipe");
  pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (spec.input.empty()) {
      ::dup2(ins[0], 0);
      ::close(ins[0]);
      ::close(ins[1]);
    } else {
      int in = ::open(spec.input.c_str(), O_RDONLY);
      if (in >= 0) ::dup2(in, 0);
    }
    if (spec.output.empty()) {
      ::dup2(fds[1], 1);
      ::close(fds[0]);
      ::close(fds[1]);
    } else {
      int out = ::open(spec.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out >= 0) ::dup2(out, 1);
    }
    int err = ::open(spec.errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (err >= 0) ::dup2(err, 2);
    for (const auto& [name, value] : spec.env) ::setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    for (const std::string& a : spec.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(errno));
    ::_exit(127);
  }
  if (spec.output.empty()) {
    ::close(fds[1]);
    if (pipeOut) *pipeOut = fds[0];
  }
  if (spec.input.empty()) {
    ::close(ins[0]);
    if (pipeIn)
      *pipeIn = ins[1];
    else
      ::close(ins[1]);
  }
  return child;
}

std::string readAll(int fd) {
  std::string out;
  char buffer[65536];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
  ::close(fd);
  return out;
}

int waitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace kestrune::test
