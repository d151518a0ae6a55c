#include "tests/support/relay.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "tests/support/process.h"

namespace kestrune::test {

namespace {

std::string readLine(int fd) {
  std::string line;
  char c;
  while (::read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

}  // namespace

void DelayRelay::start(const std::string& listen, const std::string& target, int controlPort,
                       int rttMs, int passiveFirst) {
  stop();
  address = listen;
  int first = passiveFirst > 0 ? passiveFirst : 40000 + (controlPort % 100) * 40;
  // Without the test programs' set-up (servers.cc): the benchmark uses it too.
  const char* source = std::getenv("KESTRUNE_SOURCE_DIR");
  std::string program =
      std::string(source && *source ? source : KESTRUNE_DEFAULT_SOURCE_DIR) + "/tools/delay-relay";
  ProcessSpec spec;
  spec.argv = {
      "/usr/bin/python3",
      program,
      "--listen",
      listen,
      "--target",
      target,
      "--ports",
      std::to_string(controlPort) + "," + std::to_string(first) + "-" + std::to_string(first + 39),
      "--rtt-ms",
      std::to_string(rttMs)};
  spec.input = "";  // the commands, one a line
  spec.errors = "/dev/stderr";
  pid = startProcess(spec, &answers, &commands);
  std::string line = readLine(answers);
  if (line != "ready") {
    stop();
    throw std::runtime_error("delay-relay did not start: " + line);
  }
}

void DelayRelay::stop() {
  if (commands >= 0) ::close(commands);
  if (answers >= 0) ::close(answers);
  commands = answers = -1;
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  waitForExit(pid);
  pid = 0;
}

std::string DelayRelay::command(const std::string& word) {
  std::string line = word + "\n";
  if (::write(commands, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
    throw std::runtime_error("delay-relay: cannot send " + word);
  return readLine(answers);
}

namespace {

// The figure after `word` in the relay's answer to "count".
int countOf(DelayRelay& relay, const std::string& word) {
  std::string answer = relay.command("count");  // "connections N control M turns T"
  size_t at = answer.find(word + " ");
  return at == std::string::npos ? -1 : std::atoi(answer.c_str() + at + word.size() + 1);
}

}  // namespace

int DelayRelay::connections() { return countOf(*this, "connections"); }
int DelayRelay::controlConnections() { return countOf(*this, "control"); }
int DelayRelay::turns() { return countOf(*this, "turns"); }

}  // namespace kestrune::test
