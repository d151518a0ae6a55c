// Processes for the test programs and the benchmark: shell commands and
// children started with their own input, output and environment. Nothing here
// starts a server or touches a test's folder, so that the benchmark links it
// without the test programs' set-up (tests/support/servers.cc).
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace kestrune::test {

// `s` as one word for the shell.
std::string quote(const std::string& s);

// Runs a shell command and returns its standard output; throws
// std::runtime_error when it cannot start or exits other than 0.
std::string shell(const std::string& command);

struct ProcessSpec {
  std::vector<std::string> argv;           // argv[0] is looked up in PATH
  std::map<std::string, std::string> env;  // set in the child
  std::string input = "/dev/null";         // a file; empty: a pipe written by the caller
  std::string output;                      // a file; empty: a pipe read by the caller
  std::string errors = "/dev/null";        // appended
};

// Starts a process. With ProcessSpec::output empty its standard output is a
// pipe whose read end goes to `pipeOut` (without one it stays open, unread);
// with ProcessSpec::input empty its standard input is one whose write end
// goes to `pipeIn` (without one it is closed: the child reads an end).
// The child gets SIGTERM when the thread that started it ends. Throws
// std::runtime_error when it cannot fork.
pid_t startProcess(const ProcessSpec& spec, int* pipeOut = nullptr, int* pipeIn = nullptr);

// Everything up to the end of `fd`, which it closes.
std::string readAll(int fd);

// Waits for `pid` to end: its exit code, or 128 + the signal that ended it.
int waitForExit(pid_t pid);

}  // namespace kestrune::test
