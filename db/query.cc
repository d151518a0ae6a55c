#include "db/query.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>

#include "platform/errors.h"

namespace kestrune {

namespace {

std::atomic<int> gDatabaseAnswer{-1};

// The connector's own errors (2000 to 2999: cannot connect, lost, gone away)
// mean the server did not answer; any other code came from the server.
void noteAnswer(int errorCode) { gDatabaseAnswer = errorCode >= 2000 && errorCode <= 2999 ? 0 : 1; }

StatementObserver& statementObserver() {
  static StatementObserver observer;
  return observer;
}

// Powers of ten that long double holds exactly: 10^k = 2^k * 5^k is exact
// while 5^k fits the significand (k <= 27 with x87's 64 bits, 22 with 53).
constexpr int kExactPowers = std::numeric_limits<long double>::digits >= 64 ? 27 : 22;

struct PowersOfTen {
  long double value[kExactPowers + 1];
  constexpr PowersOfTen() : value() {
    value[0] = 1;
    for (int k = 1; k <= kExactPowers; ++k) value[k] = value[k - 1] * 10;
  }
};
constexpr PowersOfTen kPowersOfTen;
constexpr int kSignificand = std::numeric_limits<long double>::digits;
constexpr uint64_t kLargestExactInteger =
    kSignificand >= 64 ? ~uint64_t(0) : (uint64_t(1) << (kSignificand % 64)) - 1;

// "[-]digits[.digits]" with at most 19 digits is an integer m below 10^19
// over 10^k; when both are exact in long double, one IEEE division rounds
// the quotient correctly, so the result equals strtold's (which the
// connector's stream uses). False for any other text.
bool readPlainDecimal(const char* text, size_t length, long double& value) {
  size_t i = 0;
  bool negative = length > 0 && text[0] == '-';
  if (negative) ++i;
  uint64_t mantissa = 0;
  int digits = 0;
  int fraction = 0;
  bool point = false;
  for (; i < length; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      if (++digits > 19) return false;
      mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
      if (point) ++fraction;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (digits == 0 || fraction > kExactPowers) return false;
  if (mantissa > kLargestExactInteger) return false;
  long double quotient = static_cast<long double>(mantissa) / kPowersOfTen.value[fraction];
  value = negative ? -quotient : quotient;
  return true;
}

// An x87 unit told to round to double precision (some Windows libraries
// do) rounds the division above differently; the fast path then stands aside.
bool longDoubleAtFullPrecision() {
  volatile long double one = 1;
  volatile long double epsilon = std::numeric_limits<long double>::epsilon();
  return one + epsilon != one;
}

// An error the server sends after the result has begun (a killed or timed-out
// query, a server shutting down, a value that cannot be computed) ends the
// connector's row loop just as the last row does. The same connection still
// knows the statement's errors: a failed statement must not pass for a
// complete one with fewer rows.
void throwIfStatementFailed(sql::Statement& stmt) {
  std::unique_ptr<sql::ResultSet> errors(stmt.executeQuery("SHOW ERRORS"));
  if (errors && errors->next()) {
    int code = errors->getInt(2);
    throw sql::SQLException(columnText(*errors, 3), "HY000", code != 0 ? code : 1105);
  }
}

void reportError(const char* caption, const sql::SQLException& e) {
  noteAnswer(e.getErrorCode());
  std::string text = e.what();
  if (text.empty()) text = "database error " + std::to_string(e.getErrorCode());
  showError(caption, text);
}

}  // namespace

int lastDatabaseAnswer() { return gDatabaseAnswer.load(); }

void setStatementObserver(StatementObserver observer) { statementObserver() = std::move(observer); }

bool runQuery(DatabaseConnection& db, const QueryText& query, const RowReader& readRow) {
  try {
    std::unique_ptr<sql::Connection> con(newQueryConnection(db));
    con->setSchema(query.schema);
    std::unique_ptr<sql::Statement> stmt(con->createStatement());
    if (statementObserver()) statementObserver()(query.schema, query.sessionSetup, query.statement);
    if (query.sessionSetup) stmt->execute(query.sessionSetup);
    stmt->setResultSetType(sql::ResultSet::TYPE_FORWARD_ONLY);
    std::unique_ptr<sql::ResultSet> res(stmt->executeQuery(query.statement));
    while (res && res->next()) readRow(*res);
    res.reset();
    throwIfStatementFailed(*stmt);
    noteAnswer(0);
    // res, stmt, con are released here in reverse order of creation,
    // and likewise when anything above throws.
    return true;
  } catch (const sql::SQLException& e) {
    if (e.getErrorCode() == 0) {
      noteAnswer(0);
      return true;
    }
    reportError(query.caption, e);
  } catch (const std::exception& e) {
    showError(query.caption, std::string("unexpected error: ") + e.what());
  } catch (...) {
    showError(query.caption, "unexpected error");
  }
  return false;
}

size_t runUpdates(DatabaseConnection& db, const char* schema, const char* caption,
                  const std::vector<std::string>& statements, long long* rowsChanged) {
  size_t done = 0;
  long long changed = 0;
  try {
    std::unique_ptr<sql::Connection> con(newQueryConnection(db));
    con->setSchema(schema);
    std::unique_ptr<sql::Statement> stmt(con->createStatement());
    for (const std::string& s : statements) {
      if (statementObserver()) statementObserver()(schema, nullptr, s);
      changed += stmt->executeUpdate(s);
      ++done;
    }
    noteAnswer(0);
  } catch (const sql::SQLException& e) {
    // Unlike an UPDATE sent as a query, an exception here always means that
    // statements were left undone, code 0 or not.
    reportError(caption, e);
  } catch (const std::exception& e) {
    showError(caption, std::string("unexpected error: ") + e.what());
  } catch (...) {
    showError(caption, "unexpected error");
  }
  if (rowsChanged) *rowsChanged = changed;
  return done;
}

std::string columnText(sql::ResultSet& row, unsigned column) {
  if (row.isNull(column)) return std::string();
  return row.getString(column).asStdString();
}

double columnNumber(sql::ResultSet& row, unsigned column) {
  // NULL reads as "", which is no plain decimal.
  sql::SQLString text = row.getString(column);
  long double value = 0;
  if (longDoubleAtFullPrecision() && readPlainDecimal(text.c_str(), text.length(), value))
    return static_cast<double>(value);
  if (row.isNull(column)) return 0.0;
  return static_cast<double>(row.getDouble(column));
}

}  // namespace kestrune
