// The benchmark's table: medians and ratios of the cases' samples, the
// printed table of every case and the same as CSV.
#pragma once

#include <string>
#include <vector>

namespace kestrune::bench {

struct Case;

struct Samples {
  std::vector<double> values;
  void add(double v) { values.push_back(v); }
  // -1 when there is none.
  double median() const;
};

// The median of the runs' own ratios: agent and floor of one run went
// side by side, so a noisy neighbour hits both.
double pairedRatio(const Samples& agent, const Samples& floor);

// 1234567 as "1,234,567".
std::string grouped(long long n);
// `v` with that many decimals; "-" when negative (no figure).
std::string fixed(double v, int decimals);

// The table of the cases' medians, the client's own time (part of every
// floor) and whether both sessions gave the same rows.
void printTable(const std::vector<Case>& cases, int repeats, double clientAlone);
// The cases over the line: time, round trips and their floors.
void printLineTable(const std::vector<Case>& cases);
// The floors of a case over the line, run by run: its statements' floor and
// the round trips FTP needs.
Samples lineFloors(const Case& c);
// The same medians as CSV.
void writeCsv(const std::vector<Case>& cases, const std::string& path);

}  // namespace kestrune::bench
