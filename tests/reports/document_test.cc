// The HTML sales summary, compared byte for byte with documents spelled out
// here, in the C locale and in Turkish.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>

#include "platform/folders.h"
#include "reports/document.h"
#include "tests/support/faults.h"

namespace kestrune {
namespace {

using test::CapturedErrors;
using test::productRow;
using test::summaryRow;

// The page is in code page 1254; the expected texts below are written in
// UTF-8 and brought into it here, letter by letter.
std::string cp1254(const std::string& utf8) {
  static const std::pair<const char*, char> kLetters[] = {
      {"Ç", '\xC7'}, {"ç", '\xE7'}, {"Ğ", '\xD0'}, {"ğ", '\xF0'}, {"İ", '\xDD'}, {"ı", '\xFD'},
      {"Ö", '\xD6'}, {"ö", '\xF6'}, {"Ş", '\xDE'}, {"ş", '\xFE'}, {"Ü", '\xDC'}, {"ü", '\xFC'}};
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      out += utf8[i++];
      continue;
    }
    bool known = false;
    for (const auto& letter : kLetters) {
      if (utf8.compare(i, 2, letter.first) == 0) {
        out += letter.second;
        i += 2;
        known = true;
        break;
      }
    }
    if (!known) {
      ADD_FAILURE() << "no code page 1254 letter in the test table at " << utf8.substr(i);
      return out;
    }
  }
  return out;
}

void useLocale(const char* name) { setenv("LC_ALL", name, 1); }

// The sixteen amounts in the order the page shows them: order types (table
// service, take-away, phone, self service, Yemek Sepeti, Getir, total), then
// collections (cash, card, cheque, account, treat, discount, unpaid, points, total).
using Shown = std::vector<std::string>;

// The whole page as it must come out, in UTF-8.
std::string expectedPage(const std::string& title, const std::string& heading,
                         const std::string& period, const Shown& a, const std::string& productRows,
                         const std::string& productTotal) {
  const auto& row = summaryRow;
  const std::string plain = "<tr>", green = R"(<tr bgcolor="#00CC00">)";
  return std::string(R"(<!DOCTYPE html PUBLIC"-//W3C//DTD XHTML 1.0 Transitional//EN" )"
                     R"("http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">)"
                     "<html><head><title>") +
         title +
         R"(</title><meta http-equiv="Content-Type" content="text/html; charset=iso-8859-9" />)"
         R"(<style type="text/css">)"
         "thead tr {background-color: ActiveCaption; color: CaptionText;}"
         R"(th, td {vertical-align: top; font-family: "Calibri"; font-size: 10pt; padding: 3px; })"
         "table, td {border: 0px solid silver;}"
         "table {border-collapse: collapse;}"
         "thead .col0 {width: 101px;}.col0 {text-align: right;}"
         "thead .col1 {width: 101px;}.col1 {text-align: center;}"
         "thead .col2 {width: 101px;}.col2 {text-align: left;}"
         "thead .col3 {width: 101px;}.col3 {text-align: left;}"
         "thead .col4 {width: 125px;}.col4 {text-align: right;}"
         "thead .col5 {width: 101px;}.col5 {text-align: left;}"
         "</style></head>"
         R"(<body><table align="center"  width="500px" height="20px" >)"
         R"(<tr><td height="20px"><td colspan="3" align="center"><h1>)" +
         title +
         "</h1></td></tr>"
         R"(<tr><td><td colspan="3" align="center"><h3>)" +
         heading +
         "</h3></td></tr>"
         R"(<tr><td><td colspan="3" align="center"><h3>)" +
         period +
         "</h3></td></tr>"
         R"(<tr><td colspan="3" align="left"><h3>Servis/Sipariş ÖZETİ</h3></tr>)" +
         plain + row("Masaya Servis", a[0]) + plain + row("Paket Servis/Take Away", a[1]) + plain +
         row("Telefon Sipariş", a[2]) + plain + row("Self Servis", a[3]) + plain +
         row("Yemek Sepeti", a[4]) + plain + row("Getir", a[5]) + green + row("Toplam", a[6]) +
         R"(<tr><td colspan="3" align="left"><h3>TAHSİLAT ÖZETİ</h3></tr>)" + plain +
         row("Nakit", a[7]) + plain + row("Kredi", a[8]) + plain + row("Çek", a[9]) + plain +
         row("Cari", a[10]) + plain + row("iKRAM", a[11]) + plain + row("İskonto", a[12]) + plain +
         row("Ödenmez", a[13]) + plain + row("Puan", a[14]) + green +
         row("Tahsilat Toplamİ", a[15]) +
         "</table>"
         R"(<table align="center"  width="600px"><tr ><td colspan="6" align="left"><h3>ÜRÜN SATIŞLARI</h3></tr>)" +
         productRows +
         R"(<tr bgcolor="#00CC00"><td align="left"><th class="col1">   </th></td>)"
         R"(<td align="left"><th class="col5">Toplam</th></td>)"
         R"(<td align="left"><th class="col1">:</th></td>)"
         R"(<td align="left"><th class="col1"></th></td>)"
         R"(<td align="right"><th class="col0">)" +
         productTotal +
         "</th></td></tr></table>"
         "</body></html>";
}

StockDefinition product(int64_t code, const std::u16string& name, const char* unit, int64_t count,
                        double quantity, double amount) {
  StockDefinition s;
  s.stcode = code;
  name.copy(s.stname, 59);
  std::string u(unit);
  u.copy(s.unit, 7);
  s.soldCount = count;
  s.soldQuantity = quantity;
  s.salesAmount = amount;
  s.unitPriceSum = 999;  // never printed
  s.costAmount = 999;
  return s;
}

SummaryRecord record(const std::string& name, const char* time) {
  SummaryRecord r;
  r.summaryName = name;
  std::snprintf(r.summaryTime, sizeof r.summaryTime, "%s", time);
  return r;
}

const std::u16string kDaily = u"GÜNLÜK SATIŞ ÖZETİ";
const std::u16string kMonthly = u"AYLIK SATIŞ ÖZETİ";

// The file the last write below made.
ReportFile written;

// writeSalesSummaryDocument into folders' sales folder; its result.
int writeDocument(const std::string& periodLine, const std::vector<StockDefinition>& stocks,
                  const ReportFolders& folders, const SummaryRecord& r, const std::string& kind,
                  const std::u16string& title) {
  written = writeSalesSummaryDocument(periodLine, stocks, folders.salesFolder, r, kind, title);
  return written.result;
}

class Document : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    useLocale(GetParam());
    folders.salesFolder = test::freshFolder("satislar");
  }
  void TearDown() override { useLocale("C"); }
  bool turkish() const { return std::string(GetParam()) != "C"; }
  // The same amount as each locale shows it.
  std::string shown(const char* c, const char* tr) const { return turkish() ? tr : c; }

  ReportFolders folders;
  CapturedErrors errors;
};

INSTANTIATE_TEST_SUITE_P(Locales, Document, ::testing::Values("C", "tr_TR.UTF-8"),
                         [](const auto& param) {
                           return std::string(param.param) == "C" ? "C" : "Turkish";
                         });

TEST_P(Document, DailyPageWithProducts) {
  SummaryRecord r = record("kosk", "14:20:05");
  SalesSummary& s = r.summary;
  s.orderType3Total = 1520.5;
  s.orderType2Total = 245.75;
  s.orderType1Total = 0;
  s.orderType4Total = -12.5;
  s.orderType7Total = 1234.56;
  s.orderType8Total = 99.99;
  s.grossTotalCopy = 3088.3;
  s.cashsum = 1000;
  s.credsum = 2000.1;
  s.ceksum = 0.05;
  s.carisum = -50;
  s.ikramsum = 7.5;
  s.isknt = -3.25;
  s.senetsum = 12;
  s.puantaj = 0.5;
  s.grossTotal = 2966.9;

  std::vector<StockDefinition> stocks = {
      product(1001, u"Ayran", "Adet", 3, 3, 45),
      product(1002, u"Çiğ Köfte Dürüm", "Prs", 2, 1.5, 180.5),
      product(1003, u"Gazoz", "Adet", 0, 0, 0),             // sold nothing
      product(4294967296123, u"Kola", "Şişe", 4, 4, 60),    // beyond 32 bits
      product(-7, u"Özel İndirim", "Adet", 1, 0, -20),      // a refund: printed, lowers the total
      product(1006, u"Tatlı Tabağı", "Adet", 0, 0, 35.25),  // amount without quantity
      product(1007, u"Şalgam", "Adet", 0, 0, -5),           // nothing positive: not printed
      product(1008, u"Ücretsiz Çay", "Bardak", 0, 2, 0),    // given away
  };

  ASSERT_EQ(0, writeDocument("14.03.2024 06:00:00  -  15.03.2024 05:59:59", stocks, folders, r,
                             "gunluk", kDaily));
  EXPECT_EQ(folders.salesFolder + "/satis_ozet_gunluk.html", written.localPath);
  EXPECT_EQ("gunluk.html", written.fileName);

  Shown amounts = {
      shown("1520.50", "1.520,50"), shown("245.75", "245,75"),    "0" + shown(".00", ",00"),
      shown("-12.50", "-12,50"),    shown("1234.56", "1.234,56"), shown("99.99", "99,99"),
      shown("3088.30", "3.088,30"), shown("1000.00", "1.000,00"), shown("2000.10", "2.000,10"),
      shown("0.05", "0,05"),        shown("-50.00", "-50,00"),    shown("7.50", "7,50"),
      shown("-3.25", "-3,25"),      shown("12.00", "12,00"),      shown("0.50", "0,50"),
      shown("2966.90", "2.966,90")};
  std::string rows =
      productRow("1001", "Ayran", shown("3.00", "3,00"), "Adet", shown("45.00", "45,00")) +
      productRow("1002", "Çiğ Köfte Dürüm", shown("1.50", "1,50"), "Prs",
                 shown("180.50", "180,50")) +
      productRow("4294967296123", "Kola", shown("4.00", "4,00"), "Şişe", shown("60.00", "60,00")) +
      productRow("-7", "Özel İndirim", "", "", shown("-20.00", "-20,00")) +
      productRow("1006", "Tatlı Tabağı", "", "", shown("35.25", "35,25")) +
      productRow("1008", "Ücretsiz Çay", shown("2.00", "2,00"), "Bardak", shown("0.00", "0,00"));
  std::string expected = cp1254(expectedPage("GÜNLÜK SATIŞ ÖZETİ", "kosk - 14:20:05",
                                             "14.03.2024 06:00:00  -  15.03.2024 05:59:59", amounts,
                                             rows, shown("300.75", "300,75")));
  EXPECT_EQ(expected, test::readFile(written.localPath));
  EXPECT_EQ(0u, errors.count());
}

TEST_P(Document, NothingSoldGivesZeroRowsAndEmptyTable) {
  const std::string zero = shown("0.00", "0,00");
  const std::string expected = cp1254(expectedPage("AYLIK SATIŞ ÖZETİ", "kosk - 23:10:00",
                                                   "2024-12-01 06:00:00  -  2025-01-01 05:59:59",
                                                   Shown(16, zero), "", zero));
  SummaryRecord r = record("kosk", "23:10:00");

  // No products at all, and products that sold nothing, give the same page.
  std::vector<std::vector<StockDefinition>> lists = {
      {}, {product(1, u"Ayran", "Adet", 0, 0, 0), product(2, u"Çay", "Adet", -1, -1, -3)}};
  for (const auto& stocks : lists) {
    ASSERT_EQ(0, writeDocument("2024-12-01 06:00:00  -  2025-01-01 05:59:59", stocks, folders, r,
                               "aylik", kMonthly));
    EXPECT_EQ(folders.salesFolder + kPathSeparator + "satis_ozet_aylik.html", written.localPath);
    EXPECT_EQ("aylik.html", written.fileName);
    EXPECT_EQ(expected, test::readFile(written.localPath));
  }
  EXPECT_EQ(0u, errors.count());
}

TEST_P(Document, LargeAmountsInFull) {
  EXPECT_EQ(shown("12345678.90", "12.345.678,90"), amountText(12345678.9));
  EXPECT_EQ(shown("-1234567.89", "-1.234.567,89"), amountText(-1234567.891));
  EXPECT_EQ(shown("1000000000000000.00", "1.000.000.000.000.000,00"), amountText(1e15));
  EXPECT_EQ(shown("1000.00", "1.000,00"), amountText(999.999));
  EXPECT_EQ(shown("123.45", "123,45"), amountText(123.45));
  // A sum that should be zero but lies a hair below it is no negative amount.
  EXPECT_EQ(shown("0.00", "0,00"), amountText(-0.1 - 0.2 + 0.3));

  // Millions in the summary and a product total that a float would round to 6000000.
  SummaryRecord r = record("kosk", "12:00:00");
  r.summary.grossTotal = 12345678.9;
  std::vector<StockDefinition> stocks = {product(1, u"Ziyafet", "Adet", 1, 1, 1000000.01),
                                         product(2, u"Düğün", "Adet", 1, 1, 2000000.02),
                                         product(3, u"Nişan", "Adet", 1, 1, 3000000.03)};
  ASSERT_EQ(0, writeDocument("p", stocks, folders, r, "aylik", kMonthly));
  std::string page = test::readFile(written.localPath);
  EXPECT_NE(
      std::string::npos,
      page.find(cp1254("Tahsilat Toplamİ</th></td><td align=\"left\"><th class=\"col1\">:</th></td>"
                       "<td align=\"right\"><th class=\"col0\">") +
                shown("12345678.90", "12.345.678,90") + "<"));
  EXPECT_NE(std::string::npos,
            page.find(R"(<th class="col0">)" + shown("6000000.06", "6.000.000,06") +
                      "</th></td></tr></table></body></html>"));
}

// A locale whose digit groups are set apart by a character outside code page
// 1254 (a narrow no-break space in French) still gives page text in that code
// page. The locale is compiled into the test's own folder.
TEST(DocumentLocale, SeparatorsOutsideTheCodePageBecomePageText) {
  std::string locales = test::freshFolder("locales");
  std::string command = "localedef -i fr_FR -f UTF-8 '" + locales + "/fr_FR.UTF-8' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "cannot compile the fr_FR locale";
  struct Restore {
    ~Restore() {
      unsetenv("LOCPATH");
      useLocale("C");
    }
  } restore;
  setenv("LOCPATH", locales.c_str(), 1);
  useLocale("fr_FR.UTF-8");
  const std::string nbsp = "\xA0";
  EXPECT_EQ("1" + nbsp + "234,50", amountText(1234.5));
  EXPECT_EQ("-12" + nbsp + "345" + nbsp + "678,90", amountText(-12345678.9));

  ReportFolders folders;
  folders.salesFolder = test::freshFolder("satislar-fr");
  SummaryRecord r = record("kosk", "12:00:00");
  r.summary.cashsum = 2500;
  ASSERT_EQ(0, writeDocument("p", {product(1, u"Ayran", "Adet", 1, 1, 1500)}, folders, r, "gunluk",
                             kDaily));
  std::string page = test::readFile(written.localPath);
  EXPECT_NE(std::string::npos, page.find(">2" + nbsp + "500,00<"));
  EXPECT_NE(std::string::npos, page.find(">1" + nbsp + "500,00<"));
  EXPECT_EQ(std::string::npos, page.find("\xE2\x80\xAF"));
}

TEST_P(Document, DatabaseTextsAreConvertedAndEscaped) {
  SummaryRecord r = record("a&b<c>\"", "09:00:00");
  std::u16string long59(58, u'x');
  long59 += u'ş';
  std::vector<StockDefinition> stocks = {
      product(1, u"<Tatlı & İçecek> \"özel\"", "<b>&\"", 1, 1, 10),
      product(2, u"Çay ✓ \U0001F375",
              "\xC5\x9Ei\xC5\x9F"
              "e\xC5",
              1, 1, 10),  // "Şişe" + a cut "Ş"
      product(3, long59, "Adet", 1, 1, 10),
  };
  ASSERT_EQ(0, writeDocument("p", stocks, folders, r, "gunluk", kDaily));
  std::string page = test::readFile(written.localPath);
  std::string q = shown("1.00", "1,00"), ten = shown("10.00", "10,00");

  EXPECT_NE(std::string::npos, page.find("<h3>a&amp;b&lt;c&gt;&quot; - 09:00:00</h3>"));
  EXPECT_NE(std::string::npos,
            page.find(cp1254(productRow("1", "&lt;Tatlı &amp; İçecek&gt; &quot;özel&quot;", q,
                                        "&lt;b&gt;&amp;&quot;", ten))));
  // Characters without a code page 1254 letter become '?', one per character.
  EXPECT_NE(std::string::npos, page.find(cp1254(productRow("2", "Çay ? ?", q, "Şişe", ten))));
  EXPECT_NE(std::string::npos,
            page.find(productRow("3", std::string(58, 'x') + "\xFE", q, "Adet", ten)));
}

TEST_P(Document, SecondRunReplacesTheFirstInPlace) {
  SummaryRecord r = record("kosk", "10:00:00");
  std::vector<StockDefinition> many(40, product(1, u"Mercimek Çorbası", "Kase", 1, 1, 30));
  ASSERT_EQ(0, writeDocument("p", many, folders, r, "gunluk", kDaily));
  std::string first = test::readFile(written.localPath);

  r.summary.cashsum = 5;
  ASSERT_EQ(0, writeDocument("p", {}, folders, r, "gunluk", kDaily));
  std::string second = test::readFile(written.localPath);
  EXPECT_LT(second.size(), first.size());
  EXPECT_EQ(std::string::npos, second.find("Mercimek"));
  EXPECT_EQ("</body></html>", second.substr(second.size() - 14));
  EXPECT_EQ(std::vector<std::string>{"satis_ozet_gunluk.html"}, test::filesIn(folders.salesFolder));
  EXPECT_EQ(0u, errors.count());
}

// Lets this process write files of at most `bytes` bytes, as a full disk would.
struct FileSizeLimit {
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved);
    previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previousHandler);
  }
  rlimit saved{};
  void (*previousHandler)(int) = nullptr;
};

class DocumentWriteFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    useLocale("C");
    folders.salesFolder = test::freshFolder("satislar");
  }
  int write(const std::vector<StockDefinition>& stocks) {
    return writeDocument("p", stocks, folders, r, "gunluk", kDaily);
  }
  ReportFolders folders;
  CapturedErrors errors;
  SummaryRecord r = record("kosk", "10:00:00");
};

TEST_F(DocumentWriteFailure, MissingSalesFolderIsReported) {
  folders.salesFolder += "/eksik";
  EXPECT_EQ(-1, write({product(1, u"Ayran", "Adet", 1, 1, 10)}));
  EXPECT_EQ(folders.salesFolder + "/satis_ozet_gunluk.html", written.localPath);
  EXPECT_EQ("gunluk.html", written.fileName);
  ASSERT_EQ("WRITE_SATIS_OZET", errors.captions());
  EXPECT_NE(std::string::npos, errors.all()[0].second.find("satis_ozet_gunluk.html"));
  EXPECT_FALSE(std::filesystem::exists(folders.salesFolder));
}

TEST_F(DocumentWriteFailure, FullDiskKeepsTheOldDocument) {
  ASSERT_EQ(0, write({product(1, u"Ayran", "Adet", 1, 1, 10)}));
  std::string old = test::readFile(written.localPath);
  std::vector<StockDefinition> many(100, product(2, u"Lahmacun", "Adet", 2, 2, 90));
  {
    FileSizeLimit limit(1000);
    EXPECT_EQ(-1, write(many));
  }
  EXPECT_EQ("WRITE_SATIS_OZET", errors.captions());
  EXPECT_EQ(old, test::readFile(written.localPath));
  EXPECT_EQ(std::vector<std::string>{"satis_ozet_gunluk.html"}, test::filesIn(folders.salesFolder));

  // With room again the next run writes the new document whole.
  EXPECT_EQ(0, write(many));
  EXPECT_NE(std::string::npos, test::readFile(written.localPath).find("Lahmacun"));
}

}  // namespace
}  // namespace kestrune
