// The query frame: every database read and update goes through here. Each call
// makes a connection of its own from a DatabaseConnection's stored values
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

// Runs data-changing statements one after the other on one connection.
// Stops at the first error, which it reports. Returns the number of
// statements that completed; `rowsChanged` (if given) receives the sum of
// their row counts.
size_t runUpdates(DatabaseConnection& db, const char* schema, const char* caption,
                  const std::vector<std::string>& statements, long long* rowsChanged = nullptr);

// Sees every statement just before the frame sends it: its schema, the
// session setup run first on the same connection (null when none) and the
// statement. The benchmark records the agent's own texts with it to replay
// them through the command-line client. None by default; set it while no
// query runs.
using StatementObserver =
    std::function<void(const char* schema, const char* sessionSetup, const std::string& statement)>;
void setStatementObserver(StatementObserver observer);

// Whether the server answered the last statement the frame tried to send:
// 1 it did (rows, or an error of its own), 0 it did not (no connection, or
// it fell silent or went away), -1 nothing was tried yet. Any thread.
int lastDatabaseAnswer();

// Column readers that treat NULL as empty text or zero.
std::string columnText(sql::ResultSet& row, unsigned column);
// A number column with exactly the value static_cast<double>(getDouble())
// gives: the text rounded to long double, then to double. The connector
// builds a string stream for every such call; this reads plain decimal
// texts (the server's form of DOUBLE and DECIMAL values) itself and leaves
// anything else to getDouble.
double columnNumber(sql::ResultSet& row, unsigned column);

}  // namespace kestrune
