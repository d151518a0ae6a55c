// Checks the cross-built database connector the way the agent uses it: a
// Windows console program, linked statically, run under Wine against a real
// MariaDB server (tools/win-deps/probe-under-wine). Not part of the agent.
//
//   probe.exe ADDRESS PASSWORD [DEAD_URL]
//
// ADDRESS is the server's loopback address (port 3306, user root). DEAD_URL
// is where nothing listens (default tcp://ADDRESS:1). Prints one line per
// check and exits 0 when all passed.
#include <cppconn/connection.h>
#include <cppconn/driver.h>
#include <cppconn/exception.h>
#include <cppconn/metadata.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>
#include <mysql_driver.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const std::string& name, const std::string& detail) {
  std::printf("%s %s: %s\n", ok ? "ok  " : "FAIL", name.c_str(), detail.c_str());
  ++(ok ? passed : failed);
}

template <typename T>
std::string describe(T value) {
  return std::to_string(value);
}

template <>
std::string describe(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

template <typename T>
void expectEqual(const std::string& name, const T& got, const T& want) {
  std::string detail = describe(got);
  if (!(got == want)) detail += " (expected " + describe(want) + ")";
  check(got == want, name, detail);
}

void expectText(const std::string& name, const std::string& got, const std::string& want) {
  std::string detail = "\"" + got + "\"";
  if (got != want) detail += " (expected \"" + want + "\")";
  check(got == want, name, detail);
}

// The agent's connection options, and optionally one more.
sql::Connection* connect(const std::string& url, const std::string& password,
                         const char* extraOption = nullptr, int extraValue = 0,
                         const char* user = "root") {
  sql::ConnectOptionsMap options;
  if (extraOption) options[extraOption] = extraValue;
  options["hostName"] = sql::SQLString(url);
  options["userName"] = sql::SQLString(user);
  options["password"] = sql::SQLString(password);
  options["OPT_CONNECT_TIMEOUT"] = 10;
  options["OPT_READ_TIMEOUT"] = 60;
  options["OPT_WRITE_TIMEOUT"] = 60;
  options["OPT_CHARSET_NAME"] = sql::SQLString("utf8mb4");
  return get_driver_instance()->connect(options);
}

// The error code of a failed connect, or -1 when it connected.
int connectError(const std::string& url, const std::string& password, std::string& message) {
  try {
    std::unique_ptr<sql::Connection> con(connect(url, password));
    message = "connected";
    return -1;
  } catch (const sql::SQLException& e) {
    message = e.what();
    return e.getErrorCode();
  }
}

// "Çiğ köfte" etc.: every Turkish letter outside ASCII, upper and lower case.
const std::string kTurkish = "Çiğ köfte, şiş, ÖĞÜŞİI ığüşöç";
constexpr int kTurkishLetters = 29;
const double kAmount = 1234567.89;
const double kSmallAmount = -0.01;

void checkValues(sql::Connection& con) {
  std::unique_ptr<sql::Statement> stmt(con.createStatement());
  stmt->setResultSetType(sql::ResultSet::TYPE_FORWARD_ONLY);
  std::unique_ptr<sql::ResultSet> res(
      stmt->executeQuery("SELECT id, name, CHAR_LENGTH(name), small, big, ubig, amount, at, gone "
                         "FROM t ORDER BY id"));
  int rows = 0;
  while (res->next()) {
    ++rows;
    int id = res->getInt(1);
    std::string row = "row " + std::to_string(id) + " ";
    expectText(row + "Turkish text", res->getString(2).asStdString(), kTurkish);
    expectEqual(row + "characters as the server counts them", res->getInt(3), kTurkishLetters);
    if (id == 1) {
      expectEqual(row + "INT min", res->getInt(4), std::numeric_limits<int32_t>::min());
      expectEqual(row + "BIGINT min", res->getInt64(5), std::numeric_limits<int64_t>::min());
      expectText(row + "BIGINT min as text", res->getString(5).asStdString(),
                 "-9223372036854775808");
      expectEqual(row + "BIGINT UNSIGNED 0", res->getUInt64(6), uint64_t{0});
      expectEqual(row + "DOUBLE", static_cast<double>(res->getDouble(7)), kSmallAmount);
      expectText(row + "DATETIME", res->getString(8).asStdString(), "2000-01-01 00:00:00");
    } else {
      expectEqual(row + "INT max", res->getInt(4), std::numeric_limits<int32_t>::max());
      expectEqual(row + "BIGINT max", res->getInt64(5), std::numeric_limits<int64_t>::max());
      expectText(row + "BIGINT max as text", res->getString(5).asStdString(),
                 "9223372036854775807");
      expectEqual(row + "BIGINT UNSIGNED max", res->getUInt64(6),
                  std::numeric_limits<uint64_t>::max());
      expectEqual(row + "DOUBLE", static_cast<double>(res->getDouble(7)), kAmount);
      expectText(row + "DOUBLE as text", res->getString(7).asStdString(), "1234567.89");
      expectText(row + "DATETIME", res->getString(8).asStdString(), "2024-02-29 23:59:59");
    }
    check(res->isNull(9) && res->getString(9).asStdString().empty(), row + "NULL column",
          res->isNull(9) ? "NULL, empty text" : "not NULL");
  }
  expectEqual("rows read", rows, 2);

  res.reset(stmt->executeQuery("SELECT SUM(amount) FROM t"));
  res->next();
  expectEqual("SUM of DOUBLE", static_cast<double>(res->getDouble(1)), kAmount + kSmallAmount);
}

void checkStreaming(sql::Connection& con) {
  std::unique_ptr<sql::Statement> stmt(con.createStatement());
  stmt->setResultSetType(sql::ResultSet::TYPE_FORWARD_ONLY);
  std::unique_ptr<sql::ResultSet> res(stmt->executeQuery("SELECT seq FROM seq_1_to_200000"));
  long long rows = 0, sum = 0;
  while (res->next()) {
    ++rows;
    sum += res->getInt64(1);
  }
  check(rows == 200000 && sum == 200000LL * 200001 / 2, "200000 rows read forward only",
        std::to_string(rows) + " rows, sum " + std::to_string(sum));
}

void checkUpdateAsQuery(sql::Connection& con) {
  std::unique_ptr<sql::Statement> stmt(con.createStatement());
  std::string outcome = "no exception";
  int code = -1;
  try {
    std::unique_ptr<sql::ResultSet> res(stmt->executeQuery("UPDATE t SET small = 7 WHERE id = 1"));
  } catch (const sql::SQLException& e) {
    code = e.getErrorCode();
    outcome = "exception, code " + std::to_string(code) + ": " + e.what();
  }
  check(code == 0, "UPDATE through executeQuery throws code 0", outcome);
  std::unique_ptr<sql::ResultSet> res(stmt->executeQuery("SELECT small FROM t WHERE id = 1"));
  res->next();
  expectEqual("UPDATE through executeQuery applied", res->getInt(1), 7);
}

// A log-in through a plugin other than mysql_native_password: the program is
// static, so the client side of the plugin has to be linked in.
void checkPluginLogin(sql::Connection& con, const std::string& url) {
  std::unique_ptr<sql::Statement> stmt(con.createStatement());
  std::unique_ptr<sql::ResultSet> res(stmt->executeQuery(
      "SELECT COUNT(*) FROM information_schema.PLUGINS WHERE PLUGIN_NAME = 'ed25519'"));
  res->next();
  if (res->getInt(1) == 0) stmt->execute("INSTALL SONAME 'auth_ed25519'");
  stmt->execute(
      "CREATE OR REPLACE USER 'probe_ed25519'@'%' IDENTIFIED VIA ed25519 USING "
      "PASSWORD('Ed_25519')");
  std::string outcome;
  try {
    std::unique_ptr<sql::Connection> other(connect(url, "Ed_25519", nullptr, 0, "probe_ed25519"));
    std::unique_ptr<sql::Statement> s(other->createStatement());
    std::unique_ptr<sql::ResultSet> r(s->executeQuery("SELECT CURRENT_USER()"));
    r->next();
    outcome = "logged in as " + r->getString(1).asStdString();
  } catch (const sql::SQLException& e) {
    outcome = "error " + std::to_string(e.getErrorCode()) + ": " + e.what();
  }
  check(outcome == "logged in as probe_ed25519@%", "log-in through ed25519", outcome);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: probe ADDRESS PASSWORD [DEAD_URL]\n");
    return 2;
  }
  const std::string address = argv[1];
  const std::string password = argv[2];
  const std::string url = "tcp://" + address + ":3306";
  const std::string deadUrl = argc > 3 ? argv[3] : "tcp://" + address + ":1";

  try {
    std::unique_ptr<sql::Connection> con(connect(url, password));
    sql::DatabaseMetaData* meta = con->getMetaData();  // owned by the connection
    check(true, "connect " + url,
          "server " + meta->getDatabaseProductVersion().asStdString() + ", connector " +
              std::to_string(meta->getDriverMajorVersion()) + "." +
              std::to_string(meta->getDriverMinorVersion()) + "." +
              std::to_string(meta->getDriverPatchVersion()));
    std::unique_ptr<sql::Statement> stmt(con->createStatement());
    stmt->execute("CREATE DATABASE IF NOT EXISTS kestrune_probe CHARACTER SET utf8mb4");
    con->setSchema("kestrune_probe");
    stmt->execute("DROP TABLE IF EXISTS t");
    stmt->execute(
        "CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(100) CHARACTER SET utf8mb4, small INT, "
        "big BIGINT, ubig BIGINT UNSIGNED, amount DOUBLE, at DATETIME, gone VARCHAR(10) NULL)");
    int inserted = stmt->executeUpdate(
        "INSERT INTO t VALUES "
        "(1, '" +
        kTurkish +
        "', -2147483648, -9223372036854775808, 0, -0.01, '2000-01-01 00:00:00', NULL), "
        "(2, '" +
        kTurkish +
        "', 2147483647, 9223372036854775807, 18446744073709551615, 1234567.89, "
        "'2024-02-29 23:59:59', NULL)");
    expectEqual("rows inserted", inserted, 2);
    checkValues(*con);
    checkStreaming(*con);
    checkUpdateAsQuery(*con);
    checkPluginLogin(*con, url);
  } catch (const sql::SQLException& e) {
    check(false, "database work", "error " + std::to_string(e.getErrorCode()) + ": " + e.what());
  }

  std::string message;
  int code = connectError(url, password + "-wrong", message);
  check(code == 1045, "wrong password", std::to_string(code) + ": " + message);
  code = connectError(deadUrl, password, message);
  check(code == 2002 || code == 2003, "nothing listening at " + deadUrl,
        std::to_string(code) + ": " + message);

  // MariaDB's client has no SSL mode option: asking for one is refused the
  // way the connector refuses any unsupported option, not ignored and not
  // applied to some other option.
  std::string outcome = "connected";
  try {
    std::unique_ptr<sql::Connection> con(
        connect(url, password, "OPT_SSL_MODE", sql::SSL_MODE_REQUIRED));
  } catch (const sql::SQLUnsupportedOptionException& e) {
    outcome = std::string("unsupported option ") + e.getConnectionOption() + ": " + e.what();
  } catch (const sql::SQLException& e) {
    outcome = "other error " + std::to_string(e.getErrorCode()) + ": " + e.what();
  }
  check(outcome.rfind("unsupported option OPT_SSL_MODE", 0) == 0, "OPT_SSL_MODE refused", outcome);

  std::printf("probe: %d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
