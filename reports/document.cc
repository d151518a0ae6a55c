// The sales summary as one HTML page: heading, order types, collections and
// the product table. The page is 8-bit text in code page 1254 (declared as
// iso-8859-9) with no line breaks; the labels below are written in that code
// page's bytes.
#include "reports/document.h"

#include <cstdio>

#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/output_file.h"
#include "platform/text.h"
#include "reports/product_rows.h"

namespace kestrune {

namespace {

const char kDocumentType[] =
    "<!DOCTYPE html PUBLIC\"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
    "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">";

const char kStyleRules[] =
    "thead tr {background-color: ActiveCaption; color: CaptionText;}"
    "th, td {vertical-align: top; font-family: \"Calibri\"; font-size: 10pt; padding: 3px; }"
    "table, td {border: 0px solid silver;}"
    "table {border-collapse: collapse;}"
    "thead .col0 {width: 101px;}"
    ".col0 {text-align: right;}"
    "thead .col1 {width: 101px;}"
    ".col1 {text-align: center;}"
    "thead .col2 {width: 101px;}"
    ".col2 {text-align: left;}"
    "thead .col3 {width: 101px;}"
    ".col3 {text-align: left;}"
    "thead .col4 {width: 125px;}"
    ".col4 {text-align: right;}"
    "thead .col5 {width: 101px;}"
    ".col5 {text-align: left;}";

const char kGreenRow[] = "<tr bgcolor=\"#00CC00\">";

struct SummaryLine {
  const char* label;  // code page 1254
  double SalesSummary::*field;
  bool green;
};

// "Servis/Sipariş ÖZETİ"
const char kOrderTypesHeading[] = "Servis/Sipari\xFE \xD6ZET\xDD";
const SummaryLine kOrderTypeLines[] = {
    {"Masaya Servis", &SalesSummary::orderType3Total, false},
    {"Paket Servis/Take Away", &SalesSummary::orderType2Total, false},
    {"Telefon Sipari\xFE", &SalesSummary::orderType1Total, false},  // Telefon Sipariş
    {"Self Servis", &SalesSummary::orderType4Total, false},
    {"Yemek Sepeti", &SalesSummary::orderType7Total, false},
    {"Getir", &SalesSummary::orderType8Total, false},
    {"Toplam", &SalesSummary::grossTotalCopy, true},
};

// "TAHSİLAT ÖZETİ"
const char kCollectionsHeading[] = "TAHS\xDDLAT \xD6ZET\xDD";
const SummaryLine kCollectionLines[] = {
    {"Nakit", &SalesSummary::cashsum, false},
    {"Kredi", &SalesSummary::credsum, false},
    {"\xC7"
     "ek",
     &SalesSummary::ceksum, false},  // Çek
    {"Cari", &SalesSummary::carisum, false},
    {"iKRAM", &SalesSummary::ikramsum, false},
    {"\xDDskonto", &SalesSummary::isknt, false},  // İskonto
    {"\xD6"
     "denmez",
     &SalesSummary::senetsum, false},  // Ödenmez
    {"Puan", &SalesSummary::puantaj, false},
    {"Tahsilat Toplam\xDD", &SalesSummary::grossTotal, true},  // Tahsilat Toplamİ
};

// "ÜRÜN SATIŞLARI"
const char kProductsHeading[] = "\xDCR\xDCN SATI\xDELARI";

// Texts from the database go into the page as text, never as markup.
std::string htmlEscaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// A UTF-8 text from the database in the page's code page. A multi-byte
// character cut off at the end of a fixed-size field is dropped rather than
// shown as '?'.
std::string databaseText(const std::string& utf8) {
  size_t end = utf8.size();
  size_t continuations = 0;
  while (continuations < 3 && continuations < end &&
         (static_cast<unsigned char>(utf8[end - 1 - continuations]) & 0xC0) == 0x80)
    ++continuations;
  if (continuations < end) {
    unsigned char lead = static_cast<unsigned char>(utf8[end - 1 - continuations]);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length > continuations + 1) end -= continuations + 1;
  }
  return utf16ToPageText(utf8ToUtf16(utf8.substr(0, end)));
}

std::string productName(const StockDefinition& stock) {
  size_t n = 0;
  while (n < sizeof stock.stname / sizeof stock.stname[0] && stock.stname[n]) ++n;
  return htmlEscaped(utf16ToPageText(std::u16string(stock.stname, n), 60));
}

std::string unitText(const StockDefinition& stock) {
  size_t n = 0;
  while (n < sizeof stock.unit && stock.unit[n]) ++n;
  return htmlEscaped(databaseText(std::string(stock.unit, n)));
}

void appendSummaryLines(std::string& out, const SummaryLine* lines, size_t count,
                        const SalesSummary& summary) {
  for (size_t i = 0; i < count; ++i) {
    out += lines[i].green ? kGreenRow : "<tr>";
    out += "<td align=\"left\"><th class=\"col5\">";
    out += lines[i].label;
    out += "</th></td>";
    out += "<td align=\"left\"><th class=\"col1\">:</th></td>";
    out += "<td align=\"right\"><th class=\"col0\">";
    out += amountText(summary.*lines[i].field);
    out += "</th></td>";
    out += "</tr>";
  }
}

std::string headChunk(const std::string& title) {
  std::string out = "<html><head><title>" + title + "</title>";
  out += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-9\" />";
  out += "<style type=\"text/css\">";
  out += kStyleRules;
  out += "</style></head>";
  return out;
}

std::string bodyChunk(const std::string& title, const std::string& periodLine,
                      const SummaryRecord& record) {
  size_t timeLength = 0;
  while (timeLength < sizeof record.summaryTime && record.summaryTime[timeLength]) ++timeLength;

  std::string out = "<body><table align=\"center\"  width=\"500px\" height=\"20px\" >";
  out +=
      "<tr><td height=\"20px\"><td colspan=\"3\" align=\"center\"><h1>" + title + "</h1></td></tr>";
  out += "<tr><td><td colspan=\"3\" align=\"center\"><h3>" +
         htmlEscaped(databaseText(record.summaryName)) + " - " +
         std::string(record.summaryTime, timeLength) + "</h3></td></tr>";
  out += "<tr><td><td colspan=\"3\" align=\"center\"><h3>" + periodLine + "</h3></td></tr>";
  out += "<tr><td colspan=\"3\" align=\"left\"><h3>";
  out += kOrderTypesHeading;
  out += "</h3></tr>";
  appendSummaryLines(out, kOrderTypeLines, sizeof kOrderTypeLines / sizeof kOrderTypeLines[0],
                     record.summary);
  out += "<tr><td colspan=\"3\" align=\"left\"><h3>";
  out += kCollectionsHeading;
  out += "</h3></tr>";
  appendSummaryLines(out, kCollectionLines, sizeof kCollectionLines / sizeof kCollectionLines[0],
                     record.summary);
  out += "</table>";
  return out;
}

std::string productTableHead() {
  std::string out =
      "<table align=\"center\"  width=\"600px\"><tr ><td colspan=\"6\" align=\"left\"><h3>";
  out += kProductsHeading;
  out += "</h3></tr>";
  return out;
}

// A product that sold nothing (nothing positive) has no row.
std::string productRow(const StockDefinition& stock) {
  bool measured = stock.soldQuantity > 0;
  std::string out = "<tr>";
  out += "<td><th class=\"col3\">" + std::to_string(stock.stcode) + "</th></td>";
  out += "<td><th class=\"col3\">" + productName(stock) + "</th></td>";
  out +=
      "<td><th class=\"col4\">" + (measured ? amountText(stock.soldQuantity) : "") + "</th></td>";
  out += "<td><th class=\"col3\">" + (measured ? unitText(stock) : "") + "</th></td>";
  out += "<td><th class=\"col4\">" + amountText(stock.salesAmount) + "</th></td>";
  out += "</tr>";
  return out;
}

std::string productTotalChunk(double total) {
  std::string out = kGreenRow;
  out += "<td align=\"left\"><th class=\"col1\">   </th></td>";
  out += "<td align=\"left\"><th class=\"col5\">Toplam</th></td>";
  out += "<td align=\"left\"><th class=\"col1\">:</th></td>";
  out += "<td align=\"left\"><th class=\"col1\"></th></td>";
  out += "<td align=\"right\"><th class=\"col0\">" + amountText(total) + "</th></td>";
  out += "</tr></table>";
  return out;
}

}  // namespace

std::string amountText(double amount) {
  int size = std::snprintf(nullptr, 0, "%.2f", amount);
  if (size <= 0) return std::string();
  std::string plain(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(&plain[0], plain.size(), "%.2f", amount);
  plain.resize(static_cast<size_t>(size));
  // A sum that should be zero may come out a hair below it.
  if (plain == "-0.00") plain = "0.00";
  return formatUserNumber(plain);
}

ReportFile writeSalesSummaryDocument(const std::string& periodLine,
                                     const std::vector<StockDefinition>& stockByName,
                                     const std::string& salesFolder, const SummaryRecord& record,
                                     const std::string& nameSuffix, const std::u16string& title) {
  ReportFile file;
  file.localPath = salesFolder + kPathSeparator + "satis_ozet_" + nameSuffix + ".html";
  file.fileName = nameSuffix + ".html";

  std::string pageTitle = utf16ToPageText(title, 100);

  OutputFile out;
  if (openOutputFile(out, file.localPath)) {
    writeOutput(out, kDocumentType);
    writeOutput(out, headChunk(pageTitle));
    writeOutput(out, bodyChunk(pageTitle, periodLine, record));
    writeOutput(out, productTableHead());
    double total = 0;
    for (const StockDefinition& stock : stockByName) {
      if (!hasSales(stock)) continue;
      total += stock.salesAmount;
      if (!writeOutput(out, productRow(stock))) break;
    }
    writeOutput(out, productTotalChunk(total));
    writeOutput(out, "</body>");
    writeOutput(out, "</html>");
  }
  if (commitOutputFile(out)) {
    file.result = 0;
    return file;
  }
  showError("WRITE_SATIS_OZET", out.error);
  return file;
}

}  // namespace kestrune
