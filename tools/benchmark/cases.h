// The benchmark's cases: what each measures (a job of kestrune-bench-case,
// or the real agent's start-up) on which data set, and how one run of the
// agent and one of its floor go.
#pragma once

#include <string>
#include <vector>

#include "tools/benchmark/bench.h"
#include "tools/benchmark/table.h"

namespace kestrune::bench {

struct Case {
  std::string id;
  std::string label;
  std::string job;  // kestrune-bench-case job, or "startup"
  DataSet* data = nullptr;
  bool floor = true;
  bool resetMarks = false;
  int repeats = 1;
  int perRound = 1;  // short cases run several times a round, each time with their floors
  int uploads = 0;   // the "uploads" job: how many
  int slow = 0;      // of those, the ones that took 0.9 s or more
  std::string rows;
  Samples agent, floorDefault, floorSession;
  long peakKb = 0;
  std::string scripts;          // prefix of the recorded statements
  std::string identical = "-";  // rows of both sessions the same
  // Where it uploads: pyftpdlib, or pure-ftpd over TLS or plain (the pair
  // that tells what TLS costs), or either over the line (kLineRttMs).
  enum class Ftp { kPyftpdlib, kTls, kTlsServerPlain, kLine, kLineTls } ftp = Ftp::kPyftpdlib;
  // Over the line: the files a run sends and the files it asks the server
  // about (MDTM), for its floor; the round trips each run took.
  int files = 0, checks = 0;
  Samples roundTrips;
};

bool overTheLine(const Case& c);
// The round trips FTP itself needs for the case's files over one session,
// on the line as tools/delay-relay makes it (a connection reaches the server
// a round trip after the client's connect, which returns at once): the
// connect and the greeting (1.5), USER, PASS, CWD, TYPE I, over TLS also
// AUTH TLS, its handshake, PBSZ and PROT; then per file EPSV, STOR (the
// data connection opened meanwhile) and the data with the reply after it,
// over TLS the data connection's handshake too; per check MDTM.
double floorRoundTrips(const Case& c);

// Every case over the seeded data sets, in the order they run and print;
// each runs `repeats` rounds unless it says otherwise.
std::vector<Case> defineCases(std::vector<DataSet>& data, const Sizes& sizes, bool smoke,
                              int repeats);

// The case the table and the targets know by `id`; fails when there is none.
const Case& caseNamed(const std::vector<Case>& cases, const std::string& id);

// Whether a first run records the case's statements for its floor.
bool recordsStatements(const Case& c);

struct AgentRun {
  double seconds = 0;
  long peakKb = 0;
  int slow = 0;
  int roundTrips = -1;  // over the line: connections and the client's turns
};

// One run of the agent: its job in kestrune-bench-case (recording what it
// sends as PREFIX-default.sql and PREFIX-session.sql when `statements` names
// a PREFIX), or the real agent's start-up against `ftp`.
AgentRun runAgentCase(Case& c, const FtpServer& ftp, const std::string& statements = "");

// The floor: the client runs the script, output to /dev/null. Wall seconds.
double runFloor(Case& c, const std::string& script);

// A digest of everything the client prints for a script.
std::string clientDigest(const Database& db, const std::string& script);

}  // namespace kestrune::bench
