#include "db/query.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <memory>

#include "platform/errors.h"

namespace kestrune {

namespace {

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
  std::string text = e.what();
  if (text.empty()) text = "database error " + std::to_string(e.getErrorCode());
  showError(caption, text);
}

}  // namespace

bool runQuery(const DatabaseConnection& db, const QueryText& query, const RowReader& readRow) {
  try {
    std::unique_ptr<sql::Connection> con(newConnection(db));
    con->setSchema(query.schema);
    std::unique_ptr<sql::Statement> stmt(con->createStatement());
    if (query.sessionSetup) stmt->execute(query.sessionSetup);
    stmt->setResultSetType(sql::ResultSet::TYPE_FORWARD_ONLY);
    std::unique_ptr<sql::ResultSet> res(stmt->executeQuery(query.statement));
    while (res && res->next()) readRow(*res);
    res.reset();
    throwIfStatementFailed(*stmt);
    // res, stmt, con are released here in reverse order of creation,
    // and likewise when anything above throws.
    return true;
  } catch (const sql::SQLException& e) {
    if (e.getErrorCode() == 0) return true;
    reportError(query.caption, e);
  } catch (const std::exception& e) {
    showError(query.caption, std::string("unexpected error: ") + e.what());
  } catch (...) {
    showError(query.caption, "unexpected error");
  }
  return false;
}

size_t runUpdates(const DatabaseConnection& db, const char* schema, const char* caption,
                  const std::vector<std::string>& statements, long long* rowsChanged) {
  size_t done = 0;
  long long changed = 0;
  try {
    std::unique_ptr<sql::Connection> con(newConnection(db));
    con->setSchema(schema);
    std::unique_ptr<sql::Statement> stmt(con->createStatement());
    for (const std::string& s : statements) {
      changed += stmt->executeUpdate(s);
      ++done;
    }
  } catch (const sql::SQLException& e) {
    if (e.getErrorCode() != 0) reportError(caption, e);
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

}  // namespace kestrune
