// Company record and stock definitions read from a real MariaDB.
#include <gtest/gtest.h>

#include "db/company.h"
#include "platform/text.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

using test::CapturedErrors;
using test::database;

class MasterData : public ::testing::Test {
 protected:
  void SetUp() override {
    database().resetData();
    test::writeSettings({{"ipno", test::testAddress()}});
    openConnection(db);
  }
  DatabaseConnection db;
  CapturedErrors errors;
};

std::u16string nameOf(const StockDefinition& s) { return std::u16string(s.stname); }

TEST_F(MasterData, CompanyTakesFirstRowOnly) {
  database().exec(
      "INSERT INTO company.maininfo "
      "(compname,compfolder,mustID,machID,yedeklemehash,raporlamahash) "
      "VALUES ('Köşk Lokantası','kosk',42,'M1','yh','rh'), ('Other','other',7,'M2','y2','r2')");
  CompanyInfo c;
  c.branchName = "Merkez";  // no column holds the branch: it stays
  c.branchNo = 3;
  EXPECT_EQ(1, readCompany(db, c));
  EXPECT_EQ("Köşk Lokantası", c.compname);
  EXPECT_EQ("kosk", c.compfolder);
  EXPECT_EQ(42, c.mustID);
  EXPECT_EQ("M1", c.machID);
  EXPECT_EQ("yh", c.yedeklemehash);
  EXPECT_EQ("rh", c.raporlamahash);
  EXPECT_EQ("Merkez", c.branchName);
  EXPECT_EQ(3, c.branchNo);
  EXPECT_EQ(0u, errors.count());
}

TEST_F(MasterData, EmptyCompanyTableLeavesRecordEmpty) {
  CompanyInfo c;
  EXPECT_EQ(1, readCompany(db, c));
  EXPECT_EQ("", c.compname);
  EXPECT_EQ("", c.compfolder);
  EXPECT_EQ("", c.raporlamahash);
  EXPECT_EQ(0, c.mustID);
}

TEST_F(MasterData, NullColumnsReadAsEmptyAndZero) {
  database().exec("INSERT INTO company.maininfo (compname) VALUES (NULL)");
  database().exec("INSERT INTO stocks.stckdef (stcode) VALUES (NULL)");
  CompanyInfo c;
  c.compfolder = "before";
  EXPECT_EQ(1, readCompany(db, c));
  EXPECT_EQ("", c.compfolder);
  std::vector<StockDefinition> list;
  EXPECT_EQ(1, readStockDefinitionsByCode(db, list));
  EXPECT_EQ(0, list[0].stcode);
  EXPECT_EQ(u"", nameOf(list[0]));
  EXPECT_STREQ("", list[0].unit);
  EXPECT_EQ(0u, errors.count());
}

TEST_F(MasterData, FailedReadReportsAndKeepsRecord) {
  database().exec("RENAME TABLE company.maininfo TO company.maininfo_away");
  CompanyInfo c;
  c.compfolder = "kept";
  EXPECT_EQ(-2, readCompany(db, c));
  database().exec("RENAME TABLE company.maininfo_away TO company.maininfo");
  EXPECT_EQ("kept", c.compfolder);
  EXPECT_EQ("READ_COMPANY", errors.captions());
}

TEST_F(MasterData, TurkishNamesArriveAsUtf16) {
  database().exec(
      "INSERT INTO stocks.stckdef (stcode,type,gra,grb,grc,stname,unit,depart) VALUES "
      "(4,1,1,2,3,'Künefe','PORS',9),(1,1,1,2,3,'İskender','PORS',9),"
      "(2,1,1,2,3,'Şiş Köfte','ADET',9),(3,300,1,2,3,'Çoban Salata','KG',9)");
  std::vector<StockDefinition> byCode, byName;
  EXPECT_EQ(4, readStockDefinitionsByCode(db, byCode));
  EXPECT_EQ(4, readStockDefinitionsByName(db, byName));
  ASSERT_EQ(4u, byCode.size());
  EXPECT_EQ(u"İskender", nameOf(byCode[0]));
  EXPECT_EQ(u"Şiş Köfte", nameOf(byCode[1]));
  EXPECT_EQ(u"Çoban Salata", nameOf(byCode[2]));
  EXPECT_EQ(u"Künefe", nameOf(byCode[3]));
  EXPECT_EQ(44, byCode[2].type) << "the low 8 bits of 300";
  EXPECT_EQ(9, byCode[0].depart);
  EXPECT_STREQ("PORS", byCode[0].unit);
  // name order is the server's collation order
  std::vector<int64_t> codes;
  for (auto& s : byName) codes.push_back(s.stcode);
  EXPECT_EQ((std::vector<int64_t>{3, 1, 4, 2}), codes);
  // accumulators start at zero
  EXPECT_EQ(0, byCode[0].soldCount);
  EXPECT_EQ(0.0, byCode[0].salesAmount);
}

TEST_F(MasterData, LongNamesAndUnitsAreCut) {
  std::string longName;
  for (int i = 0; i < 70; ++i) longName += "ğ";  // 70 UTF-16 units, 140 bytes
  database().exec("INSERT INTO stocks.stckdef (stcode,stname,unit) VALUES (1,'" + longName +
                  "','KILOGRAM'),(2,'x','1234567')");
  std::vector<StockDefinition> list;
  readStockDefinitionsByCode(db, list);
  ASSERT_EQ(2u, list.size());
  EXPECT_EQ(59u, nameOf(list[0]).size());
  EXPECT_EQ(std::u16string(59, u'ğ'), nameOf(list[0]));
  EXPECT_EQ(0, list[0].stname[59]);
  EXPECT_STREQ("KILOGRA", list[0].unit);
  EXPECT_STREQ("1234567", list[1].unit);
}

TEST_F(MasterData, NegativeAndDuplicateCodesBisect) {
  database().exec(
      "INSERT INTO stocks.stckdef (stcode,stname) VALUES (-9223372036854775808,'min'),"
      "(-5,'a'),(7,'b'),(7,'b2'),(9223372036854775807,'max')");
  std::vector<StockDefinition> list;
  EXPECT_EQ(5, readStockDefinitionsByCode(db, list));
  EXPECT_EQ(INT64_MIN, list[0].stcode);
  EXPECT_EQ(INT64_MAX, list[4].stcode);
  EXPECT_EQ(0, findStockByCode(list, INT64_MIN));
  EXPECT_EQ(1, findStockByCode(list, -5));
  int i = findStockByCode(list, 7);
  EXPECT_TRUE(i == 2 || i == 3);
  EXPECT_EQ(4, findStockByCode(list, INT64_MAX));
  EXPECT_EQ(-1, findStockByCode(list, 8));
  EXPECT_EQ(-1, findStockByCode(list, 0));
  EXPECT_EQ(-1, findStockByCode({}, 7));
}

TEST(FindStockByCode, FindsEveryCodeOfALargeList) {
  std::vector<StockDefinition> list(1001);
  for (size_t i = 0; i < list.size(); ++i) list[i].stcode = static_cast<int64_t>(i) * 3 - 1500;
  for (size_t i = 0; i < list.size(); ++i) {
    ASSERT_EQ(static_cast<int>(i), findStockByCode(list, list[i].stcode));
    ASSERT_EQ(-1, findStockByCode(list, list[i].stcode + 1));
  }
}

}  // namespace
}  // namespace kestrune
