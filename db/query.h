// The query frame: every database read and update goes through here. Each call
// (but the reads of a QuerySession) makes a connection of its own from a
// DatabaseConnection's stored values
// (newQueryConnection: it may switch the stored password), selects its schema,
// runs its statement, hands each row to the caller and releases result,
// statement and connection on every way out.
//
// Errors never leave as exceptions. A connector error with a non-zero code,
// or any other exception, is shown once through the error sink under the
// query's caption, and the call returns false. An error with code 0 (the
// connector's answer to an UPDATE sent as a query) counts as success.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"

namespace sql {
class ResultSet;
}

namespace kestrune {

using RowReader = std::function<void(sql::ResultSet& row)>;

struct QueryText {
  const char* schema;
  const char* caption;  // fixed upper-case name, title of the error box
  std::string statement;
  const char* sessionSetup = nullptr;  // optional statement run first on the same connection
};

// Runs one statement and reads its rows forward-only (streamed from the
// server, not held whole in memory). True when done. An error the server
// sends after some rows (a killed query, a shutdown) is reported like any
// other: the rows before it have been read, and the result is false.
bool runQuery(DatabaseConnection& db, const QueryText& query, const RowReader& readRow);

// Reads that follow one another over one connection (the owner's page's):
// the first read makes it as runQuery makes its own, the reads after it use
// the same one, and it closes with the session. A read that fails closes it,
// so that the next read connects again. A session setup a read runs stays
// for the reads after it. Each read reports its errors as runQuery does.
struct QuerySession {
  DatabaseConnection& db;
  std::unique_ptr<sql::Connection, ConnectionCloser> connection;
};
bool runQuery(QuerySession& session, const QueryText& query, const RowReader& readRow);

// Runs data-changing statements one after the other on one connection.
// Stops at the first error, which it reports. Returns the number of
// statements that completed; `rowsChanged` (if given) receives the sum of
// their row counts.
size_t runUpdates(DatabaseConnection& db, const char* schema, const char* caption,
                  const std::vector<std::string>& statements, long long* rowsChanged = nullptr);

// Sees every statement just before the frame sends it: its schema, the
// session setup run first on the same connection (null when none) and the
// statement. Not used by the agent itself: the benchmark records the agent's
// own texts with it to replay them through the command-line client, and a
// test compares them with the documented ones. None by default; set it while
// no query runs.
using StatementRecorder =
    std::function<void(const char* schema, const char* sessionSetup, const std::string& statement)>;
void setStatementRecorder(StatementRecorder recorder);

// Column readers that treat NULL as empty text or zero.
std::string columnText(sql::ResultSet& row, unsigned column);
// A number column with exactly the value static_cast<double>(getDouble())
// gives (db/decimal.h reads plain decimal texts itself; anything else goes
// to getDouble).
double columnNumber(sql::ResultSet& row, unsigned column);

}  // namespace kestrune
