// The owner's page from its figures: what it must say and must never say,
// one row per kind of day, bad input included.
#include <gtest/gtest.h>

#include <functional>

#include "reports/owner_page.h"

namespace kestrune {
namespace {

StockDefinition product(const std::u16string& name, double amount, double quantity) {
  StockDefinition s;
  for (size_t i = 0; i < name.size() && i < 59; ++i) s.stname[i] = name[i];
  s.salesAmount = amount;
  s.soldQuantity = quantity;
  return s;
}

// A day as the report reads it: 0.1 + 0.2 style sums included.
SalesSummary usualDay() {
  SalesSummary s;
  s.cashsum = 0.1 + 0.2 + 1000;  // 1000.30
  s.credsum = 2345.18;
  s.isknt = 50;
  s.ikramsum = 25.5;
  s.grossTotal = s.cashsum + s.credsum + s.isknt + s.ikramsum;
  s.grossTotalCopy = s.grossTotal;
  s.orderType3Total = 3000;
  s.orderType2Total = 100;
  return s;
}

struct Case {
  const char* name;
  std::function<void(OwnerPage&)> fill;
  std::vector<std::string> shown;
  std::vector<std::string> never;
  size_t maxBytes;
};

std::string repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

TEST(OwnerPage, FiguresOfEveryKindOfDay) {
  const std::vector<Case> cases = {
      {"usual day against last week and four weeks",
       [](OwnerPage& p) {
         takeReportFigures(p, usualDay());
         p.current.receipts = 7;
         p.comparisonCount = 2;
         p.comparisonLabels[0] = "Geçen hafta";
         p.comparisonLabels[1] = "4 hafta ort.";
         p.comparisons[0] = {true, 300000, 0, 0, 3};  // net 3.000,00
         p.comparisons[1] = {true, 0, 0, 0, 0};       // zero: nothing to divide by
       },
       {// gross 3420.98 - 50 - 25.50 = 3345.48 over 7 receipts
        "3.345,48 ₺", "477,93 ₺", "Geçen hafta: 3.000,00 ₺ ▲ %11,5", "<td>Diğer</td>",
        "<td class=\"n\">320,98</td>",  // gross minus the two typed rows
        "ARA 08.12.2026 14:30", "Mali belge değildir"},
       {"nan", "inf", "KESİN"},
       60000},
      {"no sales at all: zeros, no division",
       [](OwnerPage& p) {
         takeReportFigures(p, SalesSummary());
         p.closed = true;
         p.comparisonCount = 1;
         p.comparisonLabels[0] = "Geçen hafta";  // last week had no data
       },
       {"Bu dönemde satış yok", "Geçen hafta: - -", "KESİN", "Satış yok", "0,00 ₺"},
       {"nan", "inf", "ARA "},
       60000},
      {"negative day: returns above sales",
       [](OwnerPage& p) {
         SalesSummary s;
         s.cashsum = -1234567.891;
         s.grossTotal = s.grossTotalCopy = s.cashsum;
         s.orderType3Total = s.cashsum;
         takeReportFigures(p, s);
         p.current.receipts = 2;
         p.comparisonCount = 1;
         p.comparisons[0] = {true, 100000, 0, 0, 1};
         p.hourKurus[0] = -123456789;
       },
       {"-1.234.567,89 ₺", "-617.283,95 ₺", "▼ %123.556,8", "class=\"bar neg\"", "class=\"n\" x="},
       {"nan", "height=\"-"},
       60000},
      {"hostile and long names are escaped and cut",
       [](OwnerPage& p) {
         p.companyName = "<b>Ali & \"Veli\"</b>";
         takeReportFigures(p, usualDay());
         takeReportProducts(
             p, {product(u"<script>alert('x')</script>", 10, 1),
                 product(std::u16string(59, u'Ş'), 5, 1), product(u"Tab\tline\nbreak", 1, 1)});
       },
       {"&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;", "&lt;b&gt;Ali &amp; &quot;Veli&quot;",
        repeated("Ş", 40) + "…", "Tab line break"},
       {"<script", "<b>Ali", repeated("Ş", 41), "\t"},
       60000},
      {"10,000 products: the right ten, a small page",
       [](OwnerPage& p) {
         takeReportFigures(p, usualDay());
         std::vector<StockDefinition> menu;
         for (int i = 0; i < 10000; ++i) {
           std::u16string name = u"Ürün " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26));
           for (char c : std::to_string(i)) name += static_cast<char16_t>(c);
           // amount peaks at i = 7777, quantity at i = 1234
           menu.push_back(product(name, i == 7777 ? 99999.99 : (i % 500) + 0.01,
                                  i == 1234 ? 5000 : (i % 300) * 0.5));
         }
         takeReportProducts(p, menu);
       },
       {"<td>1</td><td>Ürün D7777</td><td class=\"n\">99.999,99</td>",
        "<td>2</td><td>Ürün B4499</td><td class=\"n\">499,01</td>",
        "<td>1</td><td>Ürün M1234</td><td class=\"n\">5.000,00</td>"},
       {"<td>11</td>"},
       30000},
      {"month with days and 200 products",
       [](OwnerPage& p) {
         p.month = true;
         takeReportFigures(p, usualDay());
         std::vector<StockDefinition> menu;
         for (int i = 0; i < 200; ++i)
           menu.push_back(product(std::u16string(50, u'ğ') + static_cast<char16_t>(u'0' + i % 10),
                                  i + 0.5, i));
         takeReportProducts(p, menu);
         for (int d = 0; d < 31; ++d) p.dayKurus.push_back(d % 7 == 0 ? -500 : d * 100000);
       },
       {"Günlere göre net satış", "<td>31</td><td class=\"n\">30.000,00</td>",
        "hareketlerinin toplamlarıdır"},
       {"nan"},
       60000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OwnerPage page;
    page.periodText = "08.12.2026";
    page.madeAt = "08.12.2026 14:30";
    c.fill(page);
    std::string html = renderOwnerPage(page);
    for (const std::string& s : c.shown) EXPECT_NE(html.find(s), std::string::npos) << s;
    for (const std::string& s : c.never) EXPECT_EQ(html.find(s), std::string::npos) << s;
    EXPECT_LE(html.size(), c.maxBytes);
    // self-contained: nothing the page would fetch, nothing it would run
    for (const char* s : {"<script", "src=", "href=", "url(", "@import", "@font-face"})
      EXPECT_EQ(html.find(s), std::string::npos) << s;
  }
}

// The kuruş the page takes are the kuruş the report prints.
TEST(OwnerPage, MoneyAsTheReportPrintsIt) {
  const struct {
    double amount;
    int64_t kurus;
    const char* text;
  } rows[] = {{0.1 + 0.2, 30, "0,30"},
              {-0.001, 0, "0,00"},
              {1234567.891, 123456789, "1.234.567,89"},
              {-1000000.5, -100000050, "-1.000.000,50"},
              {99999999999.99, 9999999999999, "99.999.999.999,99"}};
  for (const auto& r : rows) {
    EXPECT_EQ(kurusOf(r.amount), r.kurus) << r.amount;
    EXPECT_EQ(turkishMoney(kurusOf(r.amount)), r.text) << r.amount;
  }
}

}  // namespace
}  // namespace kestrune
