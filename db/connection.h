// Where the point-of-sale MySQL server is and how to log in to it. Every data
// object (company, sales, expenses) carries one, filled once at start-up by
// openConnection and only read afterwards.
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

}  // namespace kestrune
