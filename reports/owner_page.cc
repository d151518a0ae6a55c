#include "reports/owner_page.h"

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <functional>

#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/output_file.h"
#include "platform/text.h"

namespace kestrune {

namespace {

const int kTopCount = 10;
const size_t kNameLength = 40;  // code points of a product name on the page

// Texts from the database go into the page as text, never as markup.
std::string escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        // control characters would make the page invalid
        if (static_cast<unsigned char>(c) < 0x20)
          out += ' ';
        else
          out += c;
    }
  }
  return out;
}

// At most kNameLength characters of a UTF-16 name, as UTF-8; "…" marks a cut.
std::string shortName(const std::u16string& name) {
  std::u16string cut;
  size_t units = 0;
  for (size_t i = 0; i < name.size() && units < kNameLength; ++i, ++units) {
    char16_t c = name[i];
    bool high = c >= 0xD800 && c <= 0xDBFF;
    if (high && i + 1 < name.size()) {
      cut += c;
      cut += name[++i];
    } else {
      cut += c;
    }
  }
  std::string out = utf16ToUtf8(cut);
  if (cut.size() < name.size()) out += "\xE2\x80\xA6";
  return out;
}

std::string grouped(uint64_t whole) {
  std::string digits = std::to_string(whole);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += '.';
    out += digits[i];
  }
  return out;
}

uint64_t magnitude(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

// Quotient rounded half away from zero; 0 for a zero divisor.
int64_t roundedQuotient(int64_t a, int64_t b) {
  if (b == 0) return 0;
  bool negative = (a < 0) != (b < 0);
  uint64_t ua = magnitude(a), ub = magnitude(b);
  uint64_t q = (ua + ub / 2) / ub;
  return negative ? -static_cast<int64_t>(q) : static_cast<int64_t>(q);
}

// The figures at the top: net, receipts, average receipt, discount, complimentary.
const char* const kFigureNames[] = {"Net satış", "Fiş sayısı", "Ortalama fiş", "İskonto", "İkram"};
const int kFigureCount = 5;

bool figureValue(const OwnerTotals& t, int figure, int64_t& value) {
  if (!t.known) return false;
  switch (figure) {
    case 0: value = netKurus(t); return true;
    case 1: value = t.receipts; return true;
    case 2:
      if (t.receipts == 0) return false;
      value = roundedQuotient(netKurus(t), t.receipts);
      return true;
    case 3: value = t.discountKurus; return true;
    default: value = t.complimentaryKurus; return true;
  }
}

std::string figureText(int figure, int64_t value) {
  return figure == 1 ? turkishCount(value) : turkishMoney(value) + " ₺";
}

const char* const kPaymentNames[kPayCount] = {"Nakit",           "Kredi kartı", "Çek",
                                              "Ödenmez (senet)", "Cari",        "Puan"};
const char* const kOrderTypeNames[kOrderTypeCount] = {
    "Masaya servis", "Paket servis", "Telefon sipariş", "Self servis", "Yemek Sepeti",
    "Getir",         "Diğer"};

const char kStyle[] =
    ":root{color-scheme:light dark;--bg:#fff;--fg:#1b1b1b;--muted:#5c5c5c;--bar:#2f6db5;"
    "--neg:#b53a2f;--line:#d8d8d8;--card:#f4f6f9}"
    "@media (prefers-color-scheme:dark){:root{--bg:#121417;--fg:#ececec;--muted:#a9a9a9;"
    "--bar:#6ea8ff;--neg:#ff8a7a;--line:#3a3d42;--card:#1d2026}}"
    "*{box-sizing:border-box}"
    "body{margin:0;padding:12px;background:var(--bg);color:var(--fg);"
    "font:15px/1.4 system-ui,sans-serif;overflow-wrap:anywhere}"
    "main{max-width:960px;margin:0 auto}"
    "h1{font-size:1.3em;margin:0 0 4px}h2{font-size:1.05em;margin:18px 0 6px}"
    ".meta,.note{color:var(--muted);font-size:.85em;margin:2px 0}"
    ".badge{display:inline-block;padding:1px 6px;border:1px solid currentColor;border-radius:4px;"
    "font-weight:bold}"
    ".cards{display:grid;grid-template-columns:repeat(auto-fit,minmax(150px,1fr));gap:8px}"
    ".card{background:var(--card);border-radius:6px;padding:8px}"
    ".card b{display:block;font-size:1.2em}.card small{display:block;color:var(--muted)}"
    ".cols{display:grid;grid-template-columns:repeat(auto-fit,minmax(280px,1fr));gap:0 24px}"
    "table{border-collapse:collapse;width:100%;font-size:.9em}"
    "td,th{padding:3px 4px;border-bottom:1px solid var(--line);text-align:left;"
    "vertical-align:top}"
    "td.n,th.n{text-align:right;white-space:nowrap}"
    "tr.sum td{font-weight:bold}"
    ".bar{height:10px;background:var(--bar);min-width:1px}.bar.neg{background:var(--neg)}"
    "svg{width:100%;max-width:640px;height:auto;display:block}svg .b{fill:var(--bar)}svg "
    ".n{fill:var(--neg)}"
    "svg text{fill:var(--muted);font-size:7px}"
    ".sr{position:absolute;width:1px;height:1px;overflow:hidden;clip:rect(0 0 0 0);"
    "white-space:nowrap}"
    "@media print{@page{size:A4;margin:12mm}:root{color-scheme:light;--bg:#fff;--fg:#000;"
    "--card:#f2f2f2}body{padding:0;font-size:11pt}section{break-inside:avoid}}";

// Bar width in percent of the largest magnitude, in tenths.
std::string barWidth(int64_t value, uint64_t largest) {
  uint64_t tenths = largest == 0 ? 0 : magnitude(value) * 1000 / largest;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "%";
}

// Rows of a label, a bar and an amount, with a total row; the bars are
// hidden from screen readers, the table itself is the text.
std::string barTable(const char* caption, const char* const* names, const int64_t* values,
                     int count, const char* totalName, int64_t total) {
  uint64_t largest = 0;
  for (int i = 0; i < count; ++i) largest = std::max(largest, magnitude(values[i]));
  std::string out = "<table><caption class=\"sr\">";
  out += caption;
  out += "</caption>";
  for (int i = 0; i < count; ++i) {
    out += "<tr><td>";
    out += names[i];
    out += "</td><td style=\"width:40%\" aria-hidden=\"true\"><div class=\"bar";
    if (values[i] < 0) out += " neg";
    out += "\" style=\"width:" + barWidth(values[i], largest) + "\"></div></td><td class=\"n\">" +
           turkishMoney(values[i]) + "</td></tr>";
  }
  out += "<tr class=\"sum\"><td>";
  out += totalName;
  out += "</td><td></td><td class=\"n\">" + turkishMoney(total) + "</td></tr></table>";
  return out;
}

// A column chart of `values` (hidden from screen readers) followed by its
// table in text for them.
std::string columnChart(const std::vector<int64_t>& values, const std::vector<std::string>& labels,
                        int labelEvery) {
  uint64_t largest = 0;
  bool anyNegative = false;
  for (int64_t v : values) {
    largest = std::max(largest, magnitude(v));
    anyNegative = anyNegative || v < 0;
  }
  const int width = 10, height = 80, top = 4;
  int baseline = anyNegative ? top + height / 2 : top + height;
  int span = anyNegative ? height / 2 : height;
  int total = static_cast<int>(values.size()) * width;
  std::string out = "<svg viewBox=\"0 0 " + std::to_string(total) + " " +
                    std::to_string(top + height + 12) + "\" aria-hidden=\"true\">";
  for (size_t i = 0; i < values.size(); ++i) {
    uint64_t h = largest == 0 ? 0 : magnitude(values[i]) * static_cast<uint64_t>(span) / largest;
    if (h == 0) continue;
    int x = static_cast<int>(i) * width + 1;
    int y = values[i] < 0 ? baseline : baseline - static_cast<int>(h);
    out += "<rect class=\"" + std::string(values[i] < 0 ? "n" : "b") + "\" x=\"" +
           std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
           std::to_string(width - 2) + "\" height=\"" + std::to_string(h) + "\"/>";
  }
  for (size_t i = 0; i < values.size(); i += static_cast<size_t>(labelEvery))
    out += "<text x=\"" + std::to_string(static_cast<int>(i) * width) + "\" y=\"" +
           std::to_string(top + height + 10) + "\">" + labels[i] + "</text>";
  out += "</svg>";
  return out;
}

std::string twoDigits(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", n % 100);
  return text;
}

std::string productTable(const std::vector<OwnerProduct>& top, bool byQuantity) {
  std::string out = "<table><tr><th>#</th><th>Ürün</th><th class=\"n\">";
  out += byQuantity ? "Miktar" : "Tutar";
  out += "</th></tr>";
  int rank = 0;
  for (const OwnerProduct& p : top) {
    ++rank;
    out +=
        "<tr><td>" + std::to_string(rank) + "</td><td>" + escaped(p.name) + "</td><td class=\"n\">";
    if (byQuantity) {
      int64_t q = roundedQuotient(p.quantityMilli, 10);  // hundredths
      out += turkishMoney(q);
    } else {
      out += turkishMoney(p.amountKurus);
    }
    out += "</td></tr>";
  }
  if (top.empty()) out += "<tr><td colspan=\"3\">Satış yok</td></tr>";
  out += "</table>";
  return out;
}

}  // namespace

int64_t kurusOf(double amount) {
  char text[64];
  int n = std::snprintf(text, sizeof text, "%.2f", amount);
  if (n <= 0 || n >= static_cast<int>(sizeof text)) return 0;  // NaN, inf or beyond int64
  bool negative = false;
  int64_t value = 0;
  for (int i = 0; i < n; ++i) {
    char c = text[i];
    if (c == '-')
      negative = true;
    else if (c >= '0' && c <= '9')
      value = value * 10 + (c - '0');
    else if (c != '.' && c != ',')
      return 0;  // "nan", "inf"
  }
  return negative ? -value : value;
}

int64_t netKurus(const OwnerTotals& t) {
  return t.grossKurus - t.discountKurus - t.complimentaryKurus;
}

void takeReportFigures(OwnerPage& page, const SalesSummary& s) {
  page.current.known = true;
  page.current.grossKurus = kurusOf(s.grossTotal);
  page.current.discountKurus = kurusOf(s.isknt);
  page.current.complimentaryKurus = kurusOf(s.ikramsum);
  page.paymentKurus[kPayCash] = kurusOf(s.cashsum);
  page.paymentKurus[kPayCard] = kurusOf(s.credsum);
  page.paymentKurus[kPayCheque] = kurusOf(s.ceksum);
  page.paymentKurus[kPayVoucher] = kurusOf(s.senetsum);
  page.paymentKurus[kPayAccount] = kurusOf(s.carisum);
  page.paymentKurus[kPayPoints] = kurusOf(s.puantaj);
  const double SalesSummary::*types[6] = {
      &SalesSummary::orderType3Total, &SalesSummary::orderType2Total,
      &SalesSummary::orderType1Total, &SalesSummary::orderType4Total,
      &SalesSummary::orderType7Total, &SalesSummary::orderType8Total};
  int64_t listed = 0;
  for (int i = 0; i < 6; ++i) {
    page.orderTypeKurus[i] = kurusOf(s.*types[i]);
    listed += page.orderTypeKurus[i];
  }
  // Whatever the six printed rows leave of the printed total.
  page.orderTypeKurus[6] = kurusOf(s.grossTotalCopy) - listed;
}

void takeReportProducts(OwnerPage& page, const std::vector<StockDefinition>& stockByName) {
  struct Sold {
    const StockDefinition* stock;
    int64_t amountKurus, quantityMilli;
  };
  std::vector<Sold> sold;
  for (const StockDefinition& stock : stockByName) {
    if (!(stock.salesAmount > 0) && !(stock.soldQuantity > 0)) continue;
    sold.push_back({&stock, kurusOf(stock.salesAmount), kurusOf(stock.soldQuantity * 10)});
  }
  // Only a product at or above the tenth value of either list can be shown;
  // the names (converted, of a menu of thousands) are made for those alone.
  auto tenth = [&sold](int64_t Sold::*value) {
    std::vector<int64_t> values;
    values.reserve(sold.size());
    for (const Sold& s : sold) values.push_back(s.*value);
    if (values.size() <= static_cast<size_t>(kTopCount)) return INT64_MIN;
    auto at = values.begin() + (kTopCount - 1);
    std::nth_element(values.begin(), at, values.end(), std::greater<int64_t>());
    return *at;
  };
  int64_t amountFloor = tenth(&Sold::amountKurus), quantityFloor = tenth(&Sold::quantityMilli);
  for (const Sold& s : sold) {
    if (s.amountKurus < amountFloor && s.quantityMilli < quantityFloor) continue;
    size_t n = 0;
    while (n < sizeof s.stock->stname / sizeof s.stock->stname[0] && s.stock->stname[n]) ++n;
    OwnerProduct p;
    p.name = shortName(std::u16string(s.stock->stname, n));
    p.amountKurus = s.amountKurus;
    p.quantityMilli = s.quantityMilli;
    page.products.push_back(p);
  }
}

std::vector<OwnerProduct> topProducts(const std::vector<OwnerProduct>& products, bool byQuantity) {
  std::vector<const OwnerProduct*> order;
  order.reserve(products.size());
  for (const OwnerProduct& p : products) order.push_back(&p);
  size_t count = std::min(order.size(), static_cast<size_t>(kTopCount));
  // A total order (value, name, place in the list): every system picks the same ten.
  std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count), order.end(),
                    [byQuantity](const OwnerProduct* a, const OwnerProduct* b) {
                      int64_t va = byQuantity ? a->quantityMilli : a->amountKurus;
                      int64_t vb = byQuantity ? b->quantityMilli : b->amountKurus;
                      if (va != vb) return va > vb;
                      if (a->name != b->name) return a->name < b->name;
                      return a < b;
                    });
  std::vector<OwnerProduct> out;
  for (size_t i = 0; i < count; ++i) out.push_back(*order[i]);
  return out;
}

std::string turkishMoney(int64_t kurus) {
  uint64_t m = magnitude(kurus);
  return std::string(kurus < 0 ? "-" : "") + grouped(m / 100) + "," +
         twoDigits(static_cast<int>(m % 100));
}

std::string turkishCount(int64_t count) {
  return std::string(count < 0 ? "-" : "") + grouped(magnitude(count));
}

std::string changeText(const OwnerTotals& nowTotals, const OwnerTotals& before, int figure) {
  int64_t now = 0, then = 0;
  if (!figureValue(nowTotals, figure, now) || !figureValue(before, figure, then) || then == 0)
    return "-";
  // tenths of a percent, against the magnitude of the earlier figure
  int64_t tenths = roundedQuotient((now - then) * 1000, static_cast<int64_t>(magnitude(then)));
  std::string arrow = tenths > 0 ? "▲ " : tenths < 0 ? "▼ " : "= ";
  uint64_t m = magnitude(tenths);
  return arrow + "%" + grouped(m / 10) + "," + std::to_string(m % 10);
}

std::string renderOwnerPage(const OwnerPage& page) {
  std::string title =
      std::string(page.month ? "Aylık özet" : "Günlük özet") + " " + escaped(page.periodText);
  std::string out =
      "<!DOCTYPE html><html lang=\"tr\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">"
      "<title>" +
      title + "</title><style>";
  out += kStyle;
  out += "</style></head><body><main><h1>" + escaped(page.companyName) + "</h1>";
  out += "<p class=\"meta\"><span class=\"badge\">";
  out += page.closed ? "KESİN" : "ARA " + escaped(page.madeAt);
  out += "</span> " + title + " · hazırlanma " + escaped(page.madeAt);
  out += page.closed ? " · dönem kapandı" : " · dönem sürüyor";
  out +=
      "</p><p class=\"note\">Mali belge değildir; yasal gün sonu (Z) raporu yazar kasanındır.</p>";

  if (!page.current.known || page.current.receipts == 0)
    out += "<p><b>Bu dönemde satış yok.</b></p>";

  // The figures and their comparisons.
  out += "<section><div class=\"cards\">";
  for (int f = 0; f < kFigureCount; ++f) {
    int64_t value = 0;
    bool known = figureValue(page.current, f, value);
    out += "<div class=\"card\">";
    out += kFigureNames[f];
    out += "<b>" + (known ? figureText(f, value) : std::string("-")) + "</b>";
    for (int c = 0; c < page.comparisonCount && c < 2; ++c) {
      int64_t then = 0;
      bool had = figureValue(page.comparisons[c], f, then);
      out += "<small>" + escaped(page.comparisonLabels[c]) + ": " +
             (had ? figureText(f, then) : std::string("-")) + " " +
             changeText(page.current, page.comparisons[c], f) + "</small>";
    }
    out += "</div>";
  }
  out += "</div>";
  out += "<p class=\"note\">Net satış = brüt tahsilat " + turkishMoney(page.current.grossKurus) +
         " − iskonto " + turkishMoney(page.current.discountKurus) + " − ikram " +
         turkishMoney(page.current.complimentaryKurus) + " = " +
         turkishMoney(netKurus(page.current)) +
         " ₺. Brüt tahsilat, raporun Tahsilat Toplamı'dır (bütün ödeme sütunları).";
  if (page.month)
    out +=
        " Ayda nakit, kredi ve çek, raporda olduğu gibi kasa, banka ve çek hareketlerinin "
        "toplamlarıdır (komisyon ve virmanlarla): ödeme dağılımı net satışa eşit olmayabilir.";
  out += "</p></section>";

  // Sales by hour of the business day.
  out += "<section><h2>Saatlere göre satış (06:00-05:59)</h2>";
  std::vector<int64_t> hours(page.hourKurus, page.hourKurus + 24);
  std::vector<std::string> hourLabels;
  for (int i = 0; i < 24; ++i) hourLabels.push_back(twoDigits((i + 6) % 24));
  out += columnChart(hours, hourLabels, 3);
  out +=
      "<table class=\"sr\"><caption>Saatlere göre satış</caption><tr><th>Saat</th>"
      "<th class=\"n\">Fiş</th><th class=\"n\">Tutar</th></tr>";
  for (int i = 0; i < 24; ++i) {
    if (page.hourKurus[i] == 0 && page.hourReceipts[i] == 0) continue;
    out += "<tr><td>" + hourLabels[i] + ":00</td><td class=\"n\">" +
           turkishCount(page.hourReceipts[i]) + "</td><td class=\"n\">" +
           turkishMoney(page.hourKurus[i]) + "</td></tr>";
  }
  out += "</table></section>";

  // Payment mix and order types.
  out += "<div class=\"cols\"><section><h2>Ödeme dağılımı</h2>";
  int64_t paid = 0;
  for (int64_t v : page.paymentKurus) paid += v;
  out += barTable("Ödeme dağılımı", kPaymentNames, page.paymentKurus, kPayCount, "Toplam", paid);
  out += "</section><section><h2>Sipariş türleri</h2>";
  out += barTable("Sipariş türleri", kOrderTypeNames, page.orderTypeKurus, kOrderTypeCount,
                  "Toplam (brüt)", page.current.grossKurus);
  out += "</section></div>";

  // The best products.
  out += "<div class=\"cols\"><section><h2>Tutara göre ilk 10 ürün</h2>";
  out += productTable(topProducts(page.products, false), false);
  out += "</section><section><h2>Miktara göre ilk 10 ürün</h2>";
  out += productTable(topProducts(page.products, true), true);
  out += "</section></div>";

  if (page.month && !page.dayKurus.empty()) {
    out += "<section><h2>Günlere göre net satış</h2>";
    std::vector<std::string> dayLabels;
    for (size_t i = 0; i < page.dayKurus.size(); ++i) dayLabels.push_back(std::to_string(i + 1));
    out += columnChart(page.dayKurus, dayLabels, 5);
    out +=
        "<table class=\"sr\"><caption>Günlere göre net satış</caption><tr><th>Gün</th>"
        "<th class=\"n\">Tutar</th></tr>";
    for (size_t i = 0; i < page.dayKurus.size(); ++i)
      out += "<tr><td>" + dayLabels[i] + "</td><td class=\"n\">" + turkishMoney(page.dayKurus[i]) +
             "</td></tr>";
    out += "</table></section>";
  }
  out += "</main></body></html>\n";
  return out;
}

OwnerPageFile writeOwnerPage(const std::string& salesFolder, const std::string& fileName,
                             const OwnerPage& page) {
  OwnerPageFile file;
  file.fileName = fileName;
  file.localPath = salesFolder + kPathSeparator + fileName;
  OutputFile out;
  if (openOutputFile(out, file.localPath)) writeOutput(out, renderOwnerPage(page));
  if (commitOutputFile(out)) {
    file.result = 0;
  } else {
    showError("WRITE_OZET_SAYFA", out.error);
  }
  return file;
}

}  // namespace kestrune
