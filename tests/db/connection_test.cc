// The database connection against a real MariaDB: the settings stand-in for
// the registry, the password fallback, the query frame and its time limits.
#include <arpa/inet.h>
#include <cppconn/resultset.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "db/connection.h"
#include "db/query.h"
#include "tests/support/faults.h"

namespace kestrune {
namespace {

using test::CapturedErrors;
using test::database;
using test::testAddress;
using test::writeSettings;

std::string silentAddress(int host) { return test::otherAddress(host); }

TEST(ServerAddress, SettingsFileStandsInForTheRegistry) {
  DatabaseConnection db;
  writeSettings({});
  EXPECT_EQ(-2, readServerAddress(db)) << "no file";

  test::writeFile(test::testDir() + "/config/Ostrelian/Melrova.ini", "[Other]\nipno=1.2.3.4\n");
  EXPECT_EQ(-2, readServerAddress(db)) << "no [Server] section";

  writeSettings({{"ftphost", "x"}});
  EXPECT_EQ(-1, readServerAddress(db)) << "no ipno value";
  EXPECT_STREQ("", db.serverAddress);

  writeSettings({{"ipno", std::string(40, '7')}});
  EXPECT_EQ(-1, readServerAddress(db)) << "40 characters do not fit 40 bytes";
  EXPECT_STREQ("", db.serverAddress);

  std::string v39(39, '7');
  writeSettings({{"ipno", v39}});
  EXPECT_EQ(0, readServerAddress(db));
  EXPECT_EQ(v39, db.serverAddress);
  EXPECT_EQ(6 + 39 + 5, buildUrl(db));
  EXPECT_EQ("tcp://" + v39 + ":3306", std::string(db.url));
  EXPECT_EQ(db.url, db.urlText);
}

TEST(ServerAddress, MissingAddressGivesBareUrl) {
  writeSettings({});
  DatabaseConnection db;
  openConnection(db);
  EXPECT_STREQ("tcp://:3306", db.url);
  EXPECT_STREQ("", db.serverAddress);
}

TEST(OpenConnection, FirstPasswordWorks) {
  database().setRootPassword(kFirstPassword);
  writeSettings({{"ipno", testAddress()}});
  DatabaseConnection db;
  openConnection(db);
  EXPECT_STREQ(kFirstPassword, db.password);
  EXPECT_NE(nullptr, db.connection.get());
  EXPECT_EQ("tcp://" + testAddress() + ":3306", db.urlText);
}

TEST(OpenConnection, FallsBackToSecondPasswordOnAccessDenied) {
  database().setRootPassword(kSecondPassword);
  writeSettings({{"ipno", testAddress()}});
  DatabaseConnection db;
  openConnection(db);
  EXPECT_STREQ(kSecondPassword, db.password);
  EXPECT_NE(nullptr, db.connection.get());

  // and every query uses it
  CapturedErrors errors;
  std::string one;
  EXPECT_TRUE(runQuery(db, {"company", "TEST", "SELECT 1"},
                       [&](sql::ResultSet& row) { one = row.getString(1).asStdString(); }));
  EXPECT_EQ("1", one);
  EXPECT_EQ(0u, errors.count());
  database().setRootPassword(kFirstPassword);
}

TEST(OpenConnection, WrongPasswordIsAccessDenied) {
  database().setRootPassword("something-else");
  writeSettings({{"ipno", testAddress()}});
  DatabaseConnection db;
  openConnection(db);
  // both refused: the second password stays, nothing is shown
  EXPECT_STREQ(kSecondPassword, db.password);
  EXPECT_EQ(nullptr, db.connection.get());
  EXPECT_EQ(kAccessDenied, connect(db));
  database().setRootPassword(kFirstPassword);
}

TEST(OpenConnection, OtherErrorsKeepFirstPassword) {
  writeSettings({{"ipno", silentAddress(1)}});
  DatabaseConnection db;
  CapturedErrors errors;
  openConnection(db);
  EXPECT_STREQ(kFirstPassword, db.password);
  EXPECT_EQ(nullptr, db.connection.get());
  int code = connect(db);
  EXPECT_NE(0, code);
  EXPECT_NE(kAccessDenied, code);
  EXPECT_EQ(0u, errors.count()) << "connect failures at start-up are silent";
}

DatabaseConnection openTestConnection() {
  database();
  writeSettings({{"ipno", testAddress()}});
  DatabaseConnection db;
  openConnection(db);
  return db;
}

TEST(QueryFrame, FailingStatementReportsOnceUnderItsCaption) {
  DatabaseConnection db = openTestConnection();
  CapturedErrors errors;
  int rows = 0;
  EXPECT_FALSE(runQuery(db, {"company", "READ_SOMETHING", "SELECT * FROM no_such_table"},
                        [&](sql::ResultSet&) { ++rows; }));
  ASSERT_EQ(1u, errors.count());
  EXPECT_EQ("READ_SOMETHING", errors.all()[0].first);
  EXPECT_NE(std::string::npos, errors.all()[0].second.find("no_such_table"));
  EXPECT_EQ(0, rows);
}

TEST(QueryFrame, UnknownSchemaAndUnreachableServerReport) {
  DatabaseConnection db = openTestConnection();
  CapturedErrors errors;
  EXPECT_FALSE(runQuery(db, {"no_such_schema", "A", "SELECT 1"}, [](sql::ResultSet&) {}));
  DatabaseConnection away;
  writeSettings({{"ipno", silentAddress(2)}});
  openConnection(away);
  EXPECT_FALSE(runQuery(away, {"company", "B", "SELECT 1"}, [](sql::ResultSet&) {}));
  EXPECT_EQ("A,B", errors.captions());
}

// The reads of a session share one connection until one fails; the read
// after a failure connects again instead of using what the failure left.
TEST(QueryFrame, SessionReadsShareAConnectionUntilOneFails) {
  DatabaseConnection db = openTestConnection();
  CapturedErrors errors;
  QuerySession session{db, nullptr};
  auto connectionId = [&session] {
    long long id = -1;
    bool ok = runQuery(session, {"company", "READ_ID", "SELECT CONNECTION_ID()"},
                       [&id](sql::ResultSet& row) { id = row.getInt64(1); });
    return ok ? id : -1;
  };
  long long first = connectionId();
  ASSERT_GT(first, 0);
  EXPECT_EQ(first, connectionId());
  EXPECT_FALSE(runQuery(session, {"company", "READ_BAD", "SELECT * FROM no_such_table"},
                        [](sql::ResultSet&) {}));
  EXPECT_EQ(nullptr, session.connection.get());
  long long after = connectionId();
  EXPECT_GT(after, 0);
  EXPECT_NE(first, after);
  EXPECT_EQ(after, connectionId());
  EXPECT_EQ("READ_BAD", errors.captions());
}

TEST(QueryFrame, ExceptionFromRowReaderIsReportedNotThrown) {
  DatabaseConnection db = openTestConnection();
  CapturedErrors errors;
  EXPECT_FALSE(runQuery(db, {"company", "READ_X", "SELECT 1 UNION SELECT 2"},
                        [](sql::ResultSet&) { throw std::runtime_error("bad row"); }));
  ASSERT_EQ(1u, errors.count());
  EXPECT_EQ("READ_X", errors.all()[0].first);
}

// The server fails the statement after its third row. The connector's row
// loop just ends there, as after a last row; the frame must report the
// failure instead of passing three rows off as the whole result. The three
// rows, in order, also show that rows are streamed: a result held whole (the
// connector's default) fails before the first one reaches the reader.
TEST(QueryFrame, ErrorAfterTheFirstRowsIsReportedNotTakenForTheEnd) {
  DatabaseConnection db = openTestConnection();
  CapturedErrors errors;
  std::vector<long long> rows;
  EXPECT_FALSE(runQuery(db, {"company", "READ_ROWS", "SELECT 3 - seq FROM seq_1_to_10"},
                        [&](sql::ResultSet& row) { rows.push_back(row.getInt64(1)); }));
  EXPECT_EQ((std::vector<long long>{2, 1, 0}), rows);
  ASSERT_EQ(1u, errors.count());
  EXPECT_EQ("READ_ROWS", errors.all()[0].first);
  EXPECT_NE(std::string::npos, errors.all()[0].second.find("out of range"))
      << errors.all()[0].second;

  // a warning is no failure
  EXPECT_TRUE(
      runQuery(db, {"company", "READ_ROWS", "SELECT CAST('x' AS SIGNED)"}, [](sql::ResultSet&) {}));
  EXPECT_EQ(1u, errors.count());
}

// columnNumber must give exactly static_cast<double>(getDouble()): the
// connector rounds the text to long double and that to double, which for
// some texts differs from rounding it straight to double. Texts as stored
// (VARCHAR), as the server writes DOUBLE and DECIMAL values, odd ones that
// only getDouble reads, and NULL.
TEST(QueryFrame, NumberColumnsReadExactlyAsTheConnectorReadsThem) {
  DatabaseConnection db = openTestConnection();
  CapturedErrors errors;
  // Each of these rounds to a different double through long double.
  const char* twiceRounded[] = {"4723.302468374", "75.64074016",  "751.3051423",
                                "7.87073535111",  "0.0000258099", "60460727.79646017030"};
  const char* odd[] = {"-0",
                       "-0.00",
                       "1e20",
                       "-2.5E-3",
                       "12,5",
                       "",
                       "abc",
                       ".5",
                       "7.",
                       "123456789012345678901234",
                       "0.0000000000000000000000000001"};
  std::string rows;
  for (const char* t : twiceRounded) rows += std::string("SELECT '") + t + "' AS t UNION ALL ";
  for (const char* t : odd) rows += std::string("SELECT '") + t + "' UNION ALL ";
  rows += "SELECT NULL UNION ALL ";
  // money, and random values over many magnitudes in the server's own form
  rows +=
      "SELECT CONCAT(IF(seq % 7 = 0, '-', ''), seq DIV 100, '.', LPAD(seq % 100, 2, '0')) "
      "FROM seq_1_to_20000 UNION ALL ";
  rows +=
      "SELECT CAST(RAND(seq) * POW(10, CAST(seq % 30 AS SIGNED) - 10) AS CHAR) FROM seq_1_to_20000";
  std::string statement =
      "SELECT t, IF(t REGEXP '^-?[0-9]+[.]?[0-9]*$', CAST(t AS DOUBLE), NULL), "
      "IF(t REGEXP '^-?[0-9]{1,20}[.]?[0-9]{0,8}$', CAST(t AS DECIMAL(30,8)), NULL) FROM (" +
      rows + ") numbers";
  long checked = 0, differing = 0;
  std::vector<std::string> wrong;
  EXPECT_TRUE(runQuery(db, {"company", "NUMBERS", statement}, [&](sql::ResultSet& row) {
    for (unsigned c = 1; c <= 3; ++c) {
      double expected = row.isNull(c) ? 0.0 : static_cast<double>(row.getDouble(c));
      double got = columnNumber(row, c);
      ++checked;
      if (std::memcmp(&expected, &got, sizeof got) != 0 && wrong.size() < 5)
        wrong.push_back(columnText(row, c));
    }
    std::string text = columnText(row, 1);
    for (const char* t : twiceRounded)
      if (text == t && columnNumber(row, 1) != std::strtod(t, nullptr)) ++differing;
  }));
  EXPECT_EQ(0u, errors.count());
  EXPECT_EQ(3L * (6 + 11 + 1 + 40000), checked);
  EXPECT_TRUE(wrong.empty()) << "first: " << (wrong.empty() ? "" : wrong[0]);
  // the texts above do take the long double detour
  EXPECT_EQ(6, differing);
}

// The connector answers an UPDATE sent through executeQuery by applying it
// and then throwing an exception with code 0 (SQL state 00000, no text).
// The frame counts that as success. If a connector upgrade changes this,
// this test says so.
TEST(QueryFrame, UpdateThroughExecuteQueryAppliesAndCountsAsSuccess) {
  DatabaseConnection db = openTestConnection();
  database().resetData();
  database().exec("INSERT INTO company.maininfo (compname) VALUES ('a')");
  CapturedErrors errors;
  EXPECT_TRUE(runQuery(db, {"company", "UPD", "UPDATE maininfo SET compname = 'b'"},
                       [](sql::ResultSet&) {}));
  EXPECT_EQ(0u, errors.count());
  EXPECT_EQ("b", database().scalar("SELECT compname FROM company.maininfo"));

  // a real failure of an update keeps its server code
  EXPECT_FALSE(
      runQuery(db, {"company", "UPD", "UPDATE no_table SET x = 1"}, [](sql::ResultSet&) {}));
  ASSERT_EQ(1u, errors.count());
  EXPECT_NE(std::string::npos, errors.all()[0].second.find("no_table"));
}

TEST(QueryFrame, UpdatesOnOneConnectionStopAtFirstError) {
  DatabaseConnection db = openTestConnection();
  database().resetData();
  database().exec("INSERT INTO company.maininfo (compname, mustID) VALUES ('a', 1), ('b', 2)");
  CapturedErrors errors;
  long long changed = 0;
  size_t done = runUpdates(
      db, "company", "UPD",
      {"UPDATE maininfo SET mustID = 5 WHERE mustID = 1", "UPDATE maininfo SET mustID = 6",
       "UPDATE nothing SET a = 1", "UPDATE maininfo SET mustID = 7"},
      &changed);
  EXPECT_EQ(2u, done);
  EXPECT_EQ(3, changed);
  EXPECT_EQ("UPD", errors.captions());
  EXPECT_EQ("6", database().scalar("SELECT MAX(mustID) FROM company.maininfo"));
}

// Something that accepts TCP connections and never speaks must not block a
// query forever: the connect time-out ends it with an ordinary error.
TEST(QueryFrame, SilentServerTimesOut) {
  std::string address = silentAddress(3);
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(s, 0);
  int one = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(3306);
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  ASSERT_EQ(0, ::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa));
  ASSERT_EQ(0, ::listen(s, 16));

  DatabaseTimeouts saved = databaseTimeouts();
  setDatabaseTimeouts({2, 2, 2});
  writeSettings({{"ipno", address}});
  DatabaseConnection db;
  openConnection(db);
  CapturedErrors errors;
  auto started = test::Clock::now();
  EXPECT_FALSE(runQuery(db, {"company", "READ_COMPANY", "SELECT 1"}, [](sql::ResultSet&) {}));
  double seconds = test::secondsSince(started);
  setDatabaseTimeouts(saved);
  ::close(s);
  EXPECT_LT(seconds, 30.0);
  EXPECT_EQ("READ_COMPANY", errors.captions());
}

// The connector also throws with code 0 for errors of its own, e.g. for a
// statement that gives rows; the statements after it are not run, and that
// must not go unreported, since callers count the statements done.
TEST(QueryFrame, UpdatesStoppedWithoutAServerCodeAreReported) {
  DatabaseConnection db = openTestConnection();
  database().resetData();
  database().exec("INSERT INTO company.maininfo (compname, mustID) VALUES ('a', 1), ('b', 2)");
  CapturedErrors errors;
  size_t done = runUpdates(db, "company", "UPD",
                           {"UPDATE maininfo SET mustID = 5 WHERE mustID = 1", "SELECT 1",
                            "UPDATE maininfo SET mustID = 7"});
  EXPECT_EQ(1u, done);
  EXPECT_EQ("UPD", errors.captions());
  EXPECT_EQ("Statement returning result set", errors.all().at(0).second);
  EXPECT_EQ("5", database().scalar("SELECT MAX(mustID) FROM company.maininfo"));
}

}  // namespace
}  // namespace kestrune
