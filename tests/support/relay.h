// tools/delay-relay in front of a test FTP server: the line with a round
// trip, and the faults a line has (cut, data connections refused).
#pragma once

#include <string>

namespace kestrune::test {

struct DelayRelay {
  std::string address;  // where clients connect instead of the server
  int pid = 0;
  int commands = -1;  // the relay's standard input
  int answers = -1;   // ... and output

  // Relays `controlPort` and its passive range (40 ports from
  // `passiveFirst`; by default the test servers' range for that port) from
  // `listen` to `target`, each way delayed by half of `rttMs`.
  void start(const std::string& listen, const std::string& target, int controlPort, int rttMs,
             int passiveFirst = 0);
  void stop();
  // One command of the relay ("count", "cut", "refuse-data", "accept-data"),
  // and its answer.
  std::string command(const std::string& word);
  int connections();         // accepted so far, all ports
  int controlConnections();  // ... on the control port
  int turns();               // the client's turns on all of them
  ~DelayRelay() { stop(); }
};

}  // namespace kestrune::test
