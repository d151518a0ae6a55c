// Where the point-of-sale MySQL server is and how to log in to it. Every data
// object (company, sales, expenses) carries one, filled at start-up by
// openConnection; afterwards only the query frame changes it, to the other
// password when the server refuses the stored one.
#pragma once

#include <memory>
#include <string>

namespace sql {
class Driver;
class Connection;
}  // namespace sql

namespace kestrune {

struct ConnectionCloser {
  void operator()(sql::Connection* connection) const;
};

struct DatabaseConnection {
  sql::Driver* driver = nullptr;  // not owned
  // The connection made by the last successful connect; kept, never used by queries.
  std::unique_ptr<sql::Connection, ConnectionCloser> connection;
  char password[24] = {};
  char url[128] = {};
  char serverAddress[40] = {};
  std::string urlText;
  // Whether the server answered the last statement the query frame tried on
  // this connection's values: 1 it did (rows, or an error of its own), 0 it
  // did not (no connection, or it fell silent or went away), -1 nothing was
  // tried yet. The thread that owns the data object reads it after a run.
  int serverAnswered = -1;
};

// The fixed account and the two passwords tried in turn.
extern const char kDatabaseUser[];
extern const char kFirstPassword[];
extern const char kSecondPassword[];
constexpr int kAccessDenied = 1045;

void clear(DatabaseConnection& db);

// Reads the server address from the settings ("ipno"): 0 read, -1 value
// missing or 40 bytes or longer, -2 key missing.
int readServerAddress(DatabaseConnection& db);

// url = "tcp://" + serverAddress + ":3306"; returns its length.
int buildUrl(DatabaseConnection& db);

// Opens a connection with the current values: 0, or the connector's error code.
int connect(DatabaseConnection& db);

// clear, readServerAddress, buildUrl, then the first password and, when the
// server says access denied, the second. Always 0.
int openConnection(DatabaseConnection& db);

// Time limits of every connection: reaching the server, and each read or
// write once connected. A server that accepts and falls silent fails with an
// ordinary error (2013) instead of blocking the caller forever.
struct DatabaseTimeouts {
  int connectSeconds = 10;
  int readSeconds = 600;
  int writeSeconds = 600;
};
void setDatabaseTimeouts(const DatabaseTimeouts& timeouts);
DatabaseTimeouts databaseTimeouts();

// A new connection from the stored URL, user and password (caller owns it).
// Throws what the connector throws.
sql::Connection* newConnection(const DatabaseConnection& db);

// The query frame's connection: newConnection, and when the server refuses
// the stored password (1045), the other of the two; the one it lets in is
// kept in `db`. A password changed while the agent runs thus costs one
// refused log-in instead of failing every query until a restart. When both
// are refused, the stored password stays and the second refusal is thrown.
sql::Connection* newQueryConnection(DatabaseConnection& db);

}  // namespace kestrune
