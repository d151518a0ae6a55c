// What the fault tests share: a seeded restaurant on the real servers, the
// fake clock, the report page read back, and the checks that a page and a
// gider.dat are whole.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "db/expenses.h"
#include "tests/support/servers.h"

namespace kestrune::test {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int64_t localStamp(int year, int month, int day, int hour, int minute, int second = 0);

// Puts "now" at `t` for the agent (until reset with setClockSource(nullptr)).
void fixClock(int64_t t);

// Page text (code page 1254) back in UTF-8, for readable expectations.
std::string pageText(const std::string& cp1254);

// A summary line and a product row of the page, as the document writes them.
std::string summaryRow(const std::string& label, const std::string& amount);
std::string productRow(const std::string& code, const std::string& name,
                       const std::string& quantity, const std::string& unit,
                       const std::string& amount);

// The product rows of a page, each as its five cell texts. Fails the test
// when the page is not whole: its head, both tables and its end in place, no
// line break, and no cell that markup could break out of (<, >, " or an &
// that starts no entity).
std::vector<std::vector<std::string>> checkPage(const std::string& page);

// Records of a gider.dat; fails the test when the size is not 544 × N, the
// last record is not the end record, or a name field lacks its zero.
std::vector<ExpenseMove> checkExpenseFile(const std::string& bytes);

// A restaurant on the test servers: company "Köşk" in folder "demo" with the
// reporting key "h1", two products and a receipt on 10.03.2026, two expense
// movements of this year without images. Settings point at both servers and
// at `root`.
struct Restaurant {
  MariaDb* db = nullptr;
  FtpServer* ftp = nullptr;
  std::string root;
  void seed(const std::string& rootName = "root", int ftpPort = 2121);
  std::string remote(const std::string& name) const { return ftp->remotePath("demo", name); }
  // Removes the files a run may have left on the server.
  void clearRemote() const;
  // Files below the FTP server's root, relative to it.
  std::vector<std::string> filesOnServer() const;
  // Waits until the server runs a statement containing `text`.
  bool waitForStatement(const std::string& text, double seconds = 30) const;
};

}  // namespace kestrune::test
