#include "db/query.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <utility>

#include "db/decimal.h"
#include "platform/errors.h"

namespace kestrune {

namespace {

// The connector's own errors (2000 to 2999: cannot connect, lost, gone away)
// mean the server did not answer; any other code came from the server.
void noteAnswer(DatabaseConnection& db, int errorCode) {
  db.serverAnswered = errorCode >= 2000 && errorCode <= 2999 ? 0 : 1;
}

StatementRecorder& statementRecorder() {
  static StatementRecorder recorder;
  return recorder;
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

void reportError(DatabaseConnection& db, const char* caption, const sql::SQLException& e) {
  noteAnswer(db, e.getErrorCode());
  std::string text = e.what();
  if (text.empty()) text = "database error " + std::to_string(e.getErrorCode());
  showError(caption, text);
}

}  // namespace

void setStatementRecorder(StatementRecorder recorder) { statementRecorder() = std::move(recorder); }

namespace {

// runQuery on `con`, made first when there is none. Anything thrown closes
// it before the error is shown, as leaving a connection of its own would.
bool runQueryOn(DatabaseConnection& db, std::unique_ptr<sql::Connection, ConnectionCloser>& con,
                const QueryText& query, const RowReader& readRow) {
  try {
    if (!con) con.reset(newQueryConnection(db));
    con->setSchema(query.schema);
    std::unique_ptr<sql::Statement> stmt(con->createStatement());
    if (statementRecorder()) statementRecorder()(query.schema, query.sessionSetup, query.statement);
    if (query.sessionSetup) stmt->execute(query.sessionSetup);
    stmt->setResultSetType(sql::ResultSet::TYPE_FORWARD_ONLY);
    std::unique_ptr<sql::ResultSet> res(stmt->executeQuery(query.statement));
    while (res && res->next()) readRow(*res);
    res.reset();
    throwIfStatementFailed(*stmt);
    noteAnswer(db, 0);
    // res and stmt are released here in reverse order of creation, and
    // likewise when anything above throws.
    return true;
  } catch (const sql::SQLException& e) {
    con.reset();
    if (e.getErrorCode() == 0) {
      noteAnswer(db, 0);
      return true;
    }
    reportError(db, query.caption, e);
  } catch (const std::exception& e) {
    con.reset();
    showError(query.caption, std::string("unexpected error: ") + e.what());
  } catch (...) {
    con.reset();
    showError(query.caption, "unexpected error");
  }
  return false;
}

}  // namespace

bool runQuery(DatabaseConnection& db, const QueryText& query, const RowReader& readRow) {
  std::unique_ptr<sql::Connection, ConnectionCloser> con;
  return runQueryOn(db, con, query, readRow);
}

bool runQuery(QuerySession& session, const QueryText& query, const RowReader& readRow) {
  return runQueryOn(session.db, session.connection, query, readRow);
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
      if (statementRecorder()) statementRecorder()(schema, nullptr, s);
      changed += stmt->executeUpdate(s);
      ++done;
    }
    noteAnswer(db, 0);
  } catch (const sql::SQLException& e) {
    // Unlike an UPDATE sent as a query, an exception here always means that
    // statements were left undone, code 0 or not.
    reportError(db, caption, e);
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
