// What the benchmark's parts share (tools/benchmark): its options, the
// servers it started and the data sets seeded into them. bench.cc makes
// them; the cases (cases.h) run against them.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace kestrune::bench {

struct Options {
  bool smoke = false;
  int repeats = 5;
  std::string base = "127.0.5";
  std::string work = KESTRUNE_BENCH_BINARY_DIR "/bench-run";
  std::string csv;
  std::vector<std::string> only;  // case ids to run alone (no targets then)
  std::string source = KESTRUNE_BENCH_SOURCE_DIR;
  std::string caseProgram = KESTRUNE_BENCH_CASE_PROGRAM;
  std::string agentProgram = KESTRUNE_BENCH_AGENT_PROGRAM;
};

extern Options options;

// root's password on every database (the agent's first password).
extern const char kPassword[];
// The sales data sets hold a fixed month; the agent's clock is put there.
extern const char kSalesNow[];

[[noreturn]] inline void fail(const std::string& text) { throw std::runtime_error(text); }

// `s` without the line breaks and blanks at its end.
inline std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

struct Database {
  std::string name;
  std::string address;
  std::string dir;
  bool running = false;
};

// Administration over the server's socket (not measured).
std::string adminSql(const Database& db, const std::string& statement);

struct FtpServer {
  std::string address;
  std::string root;
  std::string log;
};

// How much data the data sets hold: order items, receipts, products;
// expense movements (smaller in a smoke run).
struct Sizes {
  long dailyItems = 0, dailyReceipts = 0;
  long smallItems = 0, smallReceipts = 0;
  long largeItems = 0, largeReceipts = 0;
  long products = 0;
  long moves = 0;
  long images = 0;  // expense movements with a new image, sent over the line
};

struct DataSet {
  std::string name;
  std::vector<std::string> generator;  // pos-demo-data.py arguments
  bool fixedClock = false;             // the agent's clock at kSalesNow
  Database db;
  std::string config;         // XDG_CONFIG_HOME with the agent's settings for this database
  std::string tlsConfig;      // the same, uploading to pure-ftpd over TLS (ftptls=try)
  std::string offConfig;      // the same, uploading to pure-ftpd in plain FTP (ftptls=off)
  std::string lineConfig;     // to pyftpdlib over the line (kLineRttMs)
  std::string lineTlsConfig;  // to pure-ftpd over TLS, over the line
  std::string root;           // the agent's local folder
};

// A restaurant's line to the maker's server: tools/delay-relay with this
// round trip in front of each FTP server, port for port.
extern const int kLineRttMs;
struct LineCount {
  int connections = 0;
  int turns = 0;
};
// What the line in front of pyftpdlib (or pure-ftpd: `tls`) carried so far.
LineCount lineCount(bool tls);

// The data set of that name; fails when there is none.
DataSet* dataSetNamed(std::vector<DataSet>& data, const std::string& name);

}  // namespace kestrune::bench
