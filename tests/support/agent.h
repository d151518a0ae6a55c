// The agent as a process for the end-to-end tests: start it, run its command
// line, wait for it. KESTRUNE_AGENT_LAUNCHER (words split at blanks, e.g.
// "valgrind --leak-check=full") is put in front of every agent command line.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kestrune::test {

struct Child {
  pid_t pid = -1;
  int status = -1;
  bool exited = false;
  // Waits up to `seconds` for the process to end.
  bool wait(double seconds);
  int exitCode() const;
  Child() = default;
  Child(Child&& other) noexcept;
  Child& operator=(Child&& other) = delete;
  ~Child();  // kills a process still running
};

// Starts `args` with standard output and error appended to `logPath`.
Child spawn(const std::vector<std::string>& args, const std::string& logPath);

// The agent's executable, and its command line with the launcher in front.
std::string agentBinary();
std::vector<std::string> agentCommand(const std::vector<std::string>& args = {});

// Runs a command line of the agent to its end (at most `seconds`); its output in `out`.
int runCli(const std::vector<std::string>& args, std::string* out = nullptr, double seconds = 120);

// The agent's control socket when XDG_RUNTIME_DIR is `runDir`.
std::string controlSocketPath(const std::string& runDir);

// Starts the agent (output appended to `logPath`) and waits up to 60 s for
// its socket at `socketPath`, which must not exist yet. On a shared machine
// another checkout's kestrune may be running: the single-instance guard then
// ends ours with 1 at once, and it is started again a second later. The
// seconds until the socket appeared go to `startSeconds`.
Child startAgent(const std::string& socketPath, const std::string& logPath,
                 double* startSeconds = nullptr);

// Open file descriptors of a process ("self" or a pid).
int openDescriptors(const std::string& pid = "self");
// Resident memory of a process in kB.
long residentKb(const std::string& pid = "self");

}  // namespace kestrune::test
