// Random products and summary texts through the sales summary writer: the
// page must stay whole and every database text must stay text.
//   document_fuzz [libFuzzer options] [corpus folder]   (tools/fuzz)
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "reports/document.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kestrune;
using fuzz::require;

namespace {

// Line breaks in the page; only texts from the database may bring any.
size_t lineBreaks = 0;

// A cell holds text only: no markup character, every & starts an entity.
// Returns the cell's length with each entity counted as one character.
size_t textLength(const std::string& cell) {
  size_t length = 0;
  for (size_t i = 0; i < cell.size(); ++i, ++length) {
    char c = cell[i];
    require(c != '<' && c != '>' && c != '"', "markup in a cell");
    if (c == '\n' || c == '\r') ++lineBreaks;
    if (c != '&') continue;
    bool entity = false;
    for (const char* e : {"&amp;", "&lt;", "&gt;", "&quot;"}) {
      if (cell.compare(i, std::strlen(e), e) == 0) {
        i += std::strlen(e) - 1;
        entity = true;
        break;
      }
    }
    require(entity, "& that starts no entity");
  }
  return length;
}

std::string cellAt(const std::string& page, size_t& at, const char* end) {
  size_t stop = page.find(end, at);
  require(stop != std::string::npos, "row cut short");
  std::string cell = page.substr(at, stop - at);
  at = stop + std::strlen(end);
  return cell;
}

// An amount and, where it is known without formatting a double, the text
// its cell must hold: whole kuruş digit for digit, zero and a hair below it
// as 0.00. Any other double is checked by value (cellHolds).
struct Amount {
  double value;
  std::string text;
};

std::string kurusText(int64_t kurus) {
  uint64_t magnitude = kurus < 0 ? 0 - static_cast<uint64_t>(kurus) : static_cast<uint64_t>(kurus);
  std::string cents = std::to_string(magnitude % 100);
  return (kurus < 0 ? "-" : "") + std::to_string(magnitude / 100) + "." +
         (cents.size() < 2 ? "0" : "") + cents;
}

Amount amount(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return {0, "0.00"};
    case 1: {
      int64_t kurus = in.ConsumeIntegralInRange<int64_t>(-100000000000LL, 100000000000LL);
      return {kurus / 100.0, kurusText(kurus)};
    }
    case 2: return {in.ConsumeFloatingPointInRange<double>(-1e12, 1e12), ""};
    default: return {-in.ConsumeFloatingPointInRange<double>(0, 1e-3), "0.00"};
  }
}

// "[-]digits.dd" within half a kuruş of `value` (and of the double nearest the text).
bool cellHolds(const std::string& cell, double value) {
  size_t i = cell.size() > 0 && cell[0] == '-' ? 1 : 0;
  size_t dot = cell.find('.');
  if (dot == std::string::npos || dot == i || cell.size() != dot + 3) return false;
  for (size_t k = i; k < cell.size(); ++k)
    if (k != dot && (cell[k] < '0' || cell[k] > '9')) return false;
  return std::fabs(std::strtod(cell.c_str(), nullptr) - value) <= 0.005 + std::fabs(value) * 1e-15;
}

bool cellHolds(const std::string& cell, const Amount& a) {
  return a.text.empty() ? cellHolds(cell, a.value) : cell == a.text;
}

}  // namespace

// Numbers in the C locale's form, whatever the environment names.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ::setenv("LC_ALL", "C", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string salesFolder = fuzz::scratch() + "/satislar";
  SummaryRecord record;
  record.summaryName = in.ConsumeRandomLengthString(300);
  // the time is the agent's own text
  std::string time;
  for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 19); time.size() < n;)
    time += "0123456789:"[in.ConsumeIntegralInRange<int>(0, 10)];
  std::memcpy(record.summaryTime, time.data(), time.size());
  for (double* f : {&record.summary.cashsum, &record.summary.credsum, &record.summary.grossTotal,
                    &record.summary.orderType3Total})
    *f = amount(in).value;

  std::vector<StockDefinition> stocks(in.ConsumeIntegralInRange<size_t>(0, 40));
  std::vector<Amount> quantities, amounts;
  for (StockDefinition& s : stocks) {
    s.stcode = in.ConsumeIntegral<int64_t>();
    size_t units = in.ConsumeIntegralInRange<size_t>(0, 59);
    for (size_t i = 0; i < units; ++i) s.stname[i] = in.ConsumeIntegral<char16_t>();
    std::string unit = in.ConsumeRandomLengthString(7);
    std::memcpy(s.unit, unit.data(), unit.size());
    s.soldCount = in.ConsumeIntegralInRange<int64_t>(-5, 5);
    quantities.push_back(amount(in));
    amounts.push_back(amount(in));
    s.soldQuantity = quantities.back().value;
    s.salesAmount = amounts.back().value;
  }

  ReportFile file = writeSalesSummaryDocument("01.01.2026 06:00:00  -  01.01.2026 23:59:59", stocks,
                                              salesFolder, record, "gunluk", u"GÜNLÜK SATIŞ ÖZETİ");
  require(file.result == 0, "document written");
  std::string page = fuzz::readWhole(file.localPath);
  require(page.rfind("<!DOCTYPE html PUBLIC", 0) == 0, "page head");
  lineBreaks = 0;
  const std::string end = "</th></td></tr></table></body></html>";
  require(page.size() > end.size() && page.compare(page.size() - end.size(), end.size(), end) == 0,
          "page end");
  // the heading line holds the summary name as text
  size_t heading = page.find("<tr><td><td colspan=\"3\" align=\"center\"><h3>");
  require(heading != std::string::npos, "heading");
  heading += std::strlen("<tr><td><td colspan=\"3\" align=\"center\"><h3>");
  size_t headingEnd = page.find("</h3></td></tr>", heading);
  require(headingEnd != std::string::npos, "heading end");
  std::string line = page.substr(heading, headingEnd - heading);
  const std::string suffix = " - " + time;
  require(line.size() >= suffix.size() &&
              line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0,
          "heading ends with the time");
  textLength(line.substr(0, line.size() - suffix.size()));

  size_t at = page.find("</h3></tr>", page.find("<table align=\"center\"  width=\"600px\">"));
  require(at != std::string::npos, "product table");
  at += std::strlen("</h3></tr>");
  double total = 0;
  for (size_t n = 0; n < stocks.size(); ++n) {
    const StockDefinition& s = stocks[n];
    if (!(s.soldQuantity > 0 || s.soldCount > 0 || s.salesAmount > 0)) continue;
    total += s.salesAmount;
    const std::string start = "<tr><td><th class=\"col3\">";
    require(page.compare(at, start.size(), start) == 0, "a row for every product that sold");
    at += start.size();
    require(cellAt(page, at, "</th></td><td><th class=\"col3\">") == std::to_string(s.stcode),
            "code");
    require(textLength(cellAt(page, at, "</th></td><td><th class=\"col4\">")) <= 59, "name length");
    std::string quantity = cellAt(page, at, "</th></td><td><th class=\"col3\">");
    require(s.soldQuantity > 0 ? cellHolds(quantity, quantities[n]) : quantity.empty(), "quantity");
    require(textLength(cellAt(page, at, "</th></td><td><th class=\"col4\">")) <= 7, "unit length");
    require(cellHolds(cellAt(page, at, "</th></td></tr>"), amounts[n]), "amount");
  }
  require(page.compare(at, 22, "<tr bgcolor=\"#00CC00\">") == 0, "no extra rows");
  size_t pageBreaks = 0;
  for (char c : page) pageBreaks += c == '\n' || c == '\r';
  require(pageBreaks == lineBreaks, "line breaks only inside database texts");
  size_t totalAt = page.rfind('>', page.size() - end.size() - 1) + 1;
  require(cellHolds(page.substr(totalAt, page.size() - end.size() - totalAt), total),
          "product total");
  return 0;
}
