#include "tools/benchmark/table.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>

#include "tests/support/files.h"
#include "tools/benchmark/cases.h"

namespace kestrune::bench {

namespace {

// One line of a table, every cell as printed.
using Line = std::vector<std::string>;

// A Markdown table of `lines` (the first its head), the first two columns
// to the left, the figures to the right.
void printRows(const std::vector<Line>& lines) {
  std::vector<size_t> w(lines[0].size());
  for (const Line& l : lines)
    for (size_t i = 0; i < w.size(); ++i) w[i] = std::max(w[i], l[i].size());
  for (size_t n = 0; n < lines.size(); ++n) {
    std::string row = "|";
    for (size_t i = 0; i < w.size(); ++i) {
      const std::string& cell = lines[n][i];
      std::string pad(w[i] - cell.size(), ' ');
      row += " " + (i < 2 ? cell + pad : pad + cell) + " |";
    }
    std::printf("%s\n", row.c_str());
    if (n == 0) {
      std::string rule = "|";
      for (size_t i = 0; i < w.size(); ++i)
        rule += (i < 2 ? ":" : "-") + std::string(w[i], '-') + (i < 2 ? "-|" : ":|");
      std::printf("%s\n", rule.c_str());
    }
  }
}

Line caseLine(const Case& c) {
  double a = c.agent.median();
  double fd = c.floor ? c.floorDefault.median() : -1;
  double fs = c.floor ? c.floorSession.median() : -1;
  double rs = c.floor ? pairedRatio(c.agent, c.floorSession) : -1;
  double rd = c.floor ? pairedRatio(c.agent, c.floorDefault) : -1;
  return {c.label,      c.rows,       fixed(a, 3),  fixed(fd, 3),
          fixed(fs, 3), fixed(rs, 2), fixed(rd, 2), fixed(c.peakKb / 1024.0, 1)};
}

std::string csvField(const std::string& s) {
  std::string out = "\"";
  for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

}  // namespace

double Samples::median() const {
  if (values.empty()) return -1;
  std::vector<double> v = values;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double pairedRatio(const Samples& agent, const Samples& floor) {
  Samples ratios;
  for (size_t i = 0; i < agent.values.size() && i < floor.values.size(); ++i)
    if (floor.values[i] > 0) ratios.add(agent.values[i] / floor.values[i]);
  return ratios.median();
}

std::string grouped(long long n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string fixed(double v, int decimals) {
  if (v < 0) return "-";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

void printTable(const std::vector<Case>& cases, int repeats, double clientAlone) {
  std::vector<Line> lines = {{"case", "rows", "agent s", "floor s (default)",
                              "floor s (agent session)", "ratio", "ratio (default)",
                              "agent peak RSS MB"}};
  for (const Case& c : cases)
    if (!overTheLine(c)) lines.push_back(caseLine(c));
  std::printf(
      "\nMedians of %d round%s (cases under a second: three runs a round; connection per\n"
      "row: at most three rounds; repeated uploads: one run). ratio = agent / floor with the\n"
      "agent's session settings,\n"
      "ratio (default) = agent / floor in the server's default session, both the medians\n"
      "of the runs' own ratios. A report with its owner's page: the agent's time includes\n"
      "the page (its reads, its build, its upload), the floor every statement of the run,\n"
      "the page's reads too.\n\n",
      repeats, repeats == 1 ? "" : "s");
  printRows(lines);
  std::printf(
      "\nThe client alone (start, connect, SELECT 1, exit) takes %.3f s, part of every floor.\n",
      clientAlone);
  for (const Case& c : cases)
    if (c.identical != "-")
      std::printf("Rows of %s (%s) the same in both sessions: %s\n", c.label.c_str(),
                  c.rows.c_str(), c.identical.c_str());
}

Samples lineFloors(const Case& c) {
  Samples floors;
  double network = floorRoundTrips(c) * kLineRttMs / 1000.0;
  for (double statements : c.floorSession.values) floors.add(statements + network);
  return floors;
}

void printLineTable(const std::vector<Case>& cases) {
  std::vector<Line> lines = {
      {"case", "rows", "agent s", "round trips", "floor round trips", "floor s", "ratio"}};
  for (const Case& c : cases) {
    if (!overTheLine(c)) continue;
    Samples floors = lineFloors(c);
    lines.push_back({c.label, c.rows, fixed(c.agent.median(), 3), fixed(c.roundTrips.median(), 0),
                     fixed(floorRoundTrips(c), 1), fixed(floors.median(), 3),
                     fixed(pairedRatio(c.agent, floors), 2)});
  }
  if (lines.size() == 1) return;
  std::printf(
      "\nOver a line of %d ms round trip (tools/delay-relay in front of each FTP server; it\n"
      "does not limit the rate). round trips = the line's connections and the agent's turns\n"
      "(times it spoke after the server) in one run; floor round trips = what FTP itself needs\n"
      "for the run's files over one session; floor s = the floor of the run's statements\n"
      "plus the floor round trips.\n\n",
      kLineRttMs);
  printRows(lines);
}

void writeCsv(const std::vector<Case>& cases, const std::string& path) {
  std::ostringstream out;
  out << "case,rows,agent_s,floor_default_s,floor_agent_session_s,ratio_agent_session,"
         "ratio_default,agent_peak_rss_mb,runs\n";
  for (const Case& c : cases) {
    Line l = caseLine(c);
    out << csvField(l[0]) << ',' << csvField(l[1]);
    for (int i = 2; i < 8; ++i) out << ',' << l[i];
    out << ',' << c.agent.values.size() << '\n';
  }
  if (!test::writeFile(path, out.str())) fail("cannot write " + path);
  std::printf("CSV: %s\n", path.c_str());
}

}  // namespace kestrune::bench
