// The statements the agent sends, letter for letter (blanks, UNION, the period
// clauses, the schema each runs in, the session setup run before it), so that
// no change to one goes unnoticed.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "db/company.h"
#include "db/expenses.h"
#include "db/query.h"
#include "db/sales.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

using test::database;

struct Sent {
  Sent(std::string inSchema, std::string text, std::string first = std::string())
      : schema(std::move(inSchema)), statement(std::move(text)), setup(std::move(first)) {}
  std::string schema;
  std::string statement;
  std::string setup;  // empty when none
  bool operator==(const Sent& o) const {
    return schema == o.schema && statement == o.statement && setup == o.setup;
  }
};

std::ostream& operator<<(std::ostream& out, const Sent& s) {
  return out << "[" << s.schema << "] " << (s.setup.empty() ? "" : "{" + s.setup + "} ")
             << s.statement;
}

class Statements : public ::testing::Test {
 protected:
  void SetUp() override {
    database().resetData();
    test::writeSettings({{"ipno", test::testAddress()}});
    setStatementRecorder(
        [this](const char* schema, const char* setup, const std::string& statement) {
          sent.push_back({schema, statement, setup ? setup : ""});
        });
  }
  void TearDown() override { setStatementRecorder(nullptr); }
  std::vector<Sent> sent;
};

const char kBegin[] = "2024-03-01 06:00:00";
const char kEnd[] = "2024-04-01 05:59:59";

TEST_F(Statements, SalesReads) {
  SalesData sales;
  openConnection(sales.connection);
  EXPECT_EQ(1, readDailySalesSummary(sales, kBegin, kEnd));
  EXPECT_EQ(1, readSalesSummary(sales, kBegin, kEnd));
  readCashMovesTotal(sales, kBegin, kEnd);
  readBankMovesTotal(sales, kBegin, kEnd);
  readChequeMovesTotal(sales, kBegin, kEnd);
  EXPECT_EQ(1, readOrderItemSales(sales, kBegin, kEnd));

  const std::string tmstmp =
      " ( tmstmp >= TIMESTAMP('2024-03-01 06:00:00') AND tmstmp <= TIMESTAMP('2024-04-01 "
      "05:59:59') )";
  const std::string time =
      " ( time >= TIMESTAMP('2024-03-01 06:00:00') AND time <= TIMESTAMP('2024-04-01 "
      "05:59:59') )";
  const std::string receipts =
      "SELECT transid,adisno,ordtyp,cashsum,credsum,ceksum,senetsum,carisum,ikramsum,isknt,"
      "puantaj,toplam FROM shopcharts  WHERE " +
      tmstmp +
      " UNION  SELECT transid,adisno,ordtyp,cashsum,credsum,ceksum,senetsum,carisum,ikramsum,"
      "isknt,puantaj,toplam FROM shpchrtarch  WHERE " +
      tmstmp + ";";
  // UNION's temporary table stays in memory up to 256 MB
  const std::string limits =
      "SET SESSION tmp_table_size = 268435456, max_heap_table_size = 268435456";
  const std::vector<Sent> expected = {
      {"satislar", receipts, limits},
      {"satislar", receipts, limits},
      {"kasa", "SELECT SUM(amount) FROM kasa.moves WHERE " + time + ";"},
      {"banks", "SELECT SUM(amount) FROM banks.moves WHERE " + time + ";"},
      {"cekler", "SELECT SUM(amount) FROM cekler.moves WHERE " + time + ";"},
      {"oturum",
       "SELECT Id,transid,ordtype,adsno,orderid,itemid,itemidx,stcode,adet,qua,prc,tutar,status,"
       "reason,cost,kdv FROM oturum.orderitarch  WHERE " +
           time +
           " UNION  SELECT Id,transid,ordtype,adsno,orderid,itemid,itemidx,stcode,adet,qua,prc,"
           "tutar,status,reason,cost,kdv FROM oturum.orderitems  WHERE " +
           time + ";",
       limits},
  };
  EXPECT_EQ(expected, sent);
}

TEST_F(Statements, CompanyAndStockReads) {
  DatabaseConnection db;
  openConnection(db);
  CompanyInfo company;
  std::vector<StockDefinition> list;
  readCompany(db, company);
  readStockDefinitionsByCode(db, list);
  readStockDefinitionsByName(db, list);
  const std::vector<Sent> expected = {
      {"company",
       "SELECT compname,compfolder,mustID,machID,yedeklemehash,raporlamahash FROM maininfo;"},
      {"stocks",
       "SELECT stcode,type,gra,grb,grc,stname,unit,depart  FROM stckdef ORDER BY stcode;"},
      {"stocks",
       "SELECT stcode,type,gra,grb,grc,stname,unit,depart  FROM stckdef ORDER BY stname;"},
  };
  EXPECT_EQ(expected, sent);
}

TEST_F(Statements, ExpenseReadsAndMarking) {
  ExpenseStore store;
  openConnection(store.connection);
  readExpenseGroups(store);
  readExpenseDefinitions(store);
  readExpenseMoves(store);
  readExpenseNotes(store);
  EXPECT_EQ(0, markExpenseMoveProcessed(store, 7));
  EXPECT_EQ(3u, markExpenseMovesProcessed(store, {7, -1, 12}));
  const std::vector<Sent> expected = {
      {"expenses", "SELECT acode, bcode, name FROM grpb;"},
      {"expenses", "SELECT code, bcode, name FROM expenses;"},
      {"expenses",
       "SELECT Id,transid,giderkodu,odemtip,amount,time,donem,imgfilename,islendi FROM moves "
       "WHERE YEAR(donem) = YEAR(CURRENT_DATE());"},
      {"expenses", "SELECT trid,note FROM notes;"},
      {"expenses",
       "UPDATE expenses.moves  SET expenses.moves.islendi = 1 WHERE expenses.moves.Id=7"},
      {"expenses",
       "UPDATE expenses.moves  SET expenses.moves.islendi = 1 WHERE expenses.moves.Id IN "
       "(7,-1,12)"},
  };
  EXPECT_EQ(expected, sent);
}

}  // namespace
}  // namespace kestrune
