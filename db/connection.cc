#include "db/connection.h"

#include <cppconn/connection.h>
#include <cppconn/driver.h>
#include <cppconn/exception.h>
#include <mysql_driver.h>

#include <atomic>
#include <cstring>

#include "db/text.h"
#include "platform/settings.h"

namespace kestrune {

const char kDatabaseUser[] = "root";
const char kFirstPassword[] = "K_plom_R";
const char kSecondPassword[] = "uQ37_bramp!";

namespace {
std::atomic<int> gConnectSeconds{10};
std::atomic<int> gReadSeconds{600};
std::atomic<int> gWriteSeconds{600};
}  // namespace

void ConnectionCloser::operator()(sql::Connection* connection) const { delete connection; }

void setDatabaseTimeouts(const DatabaseTimeouts& t) {
  gConnectSeconds = t.connectSeconds;
  gReadSeconds = t.readSeconds;
  gWriteSeconds = t.writeSeconds;
}

DatabaseTimeouts databaseTimeouts() {
  return DatabaseTimeouts{gConnectSeconds.load(), gReadSeconds.load(), gWriteSeconds.load()};
}

void clear(DatabaseConnection& db) {
  std::memset(db.password, 0, sizeof db.password);
  std::memset(db.url, 0, sizeof db.url);
  std::memset(db.serverAddress, 0, sizeof db.serverAddress);
  db.urlText.clear();
}

int readServerAddress(DatabaseConnection& db) {
  char value[sizeof db.serverAddress] = {};
  int result = readServerSetting(kSettingIpno, value, sizeof value);
  if (result == 0) copyText(db.serverAddress, value);
  return result;
}

int buildUrl(DatabaseConnection& db) {
  copyText(db.url, "tcp://");
  appendText(db.url, db.serverAddress);
  appendText(db.url, ":3306");
  db.urlText = db.url;
  return static_cast<int>(std::strlen(db.url));
}

sql::Connection* newConnection(const DatabaseConnection& db) {
  sql::Driver* driver = db.driver ? db.driver : get_driver_instance();
  sql::ConnectOptionsMap options;
  options["hostName"] = sql::SQLString(db.urlText);
  options["userName"] = sql::SQLString(kDatabaseUser);
  options["password"] = sql::SQLString(db.password);
  options["OPT_CONNECT_TIMEOUT"] = gConnectSeconds.load();
  options["OPT_READ_TIMEOUT"] = gReadSeconds.load();
  options["OPT_WRITE_TIMEOUT"] = gWriteSeconds.load();
  options["OPT_CHARSET_NAME"] = sql::SQLString("utf8mb4");
  return driver->connect(options);
}

sql::Connection* newQueryConnection(DatabaseConnection& db) {
  try {
    return newConnection(db);
  } catch (const sql::SQLException& e) {
    if (e.getErrorCode() != kAccessDenied) throw;
  }
  char refused[sizeof db.password];
  copyText(refused, db.password);
  bool first = std::strcmp(refused, kFirstPassword) == 0;
  copyText(db.password, first ? kSecondPassword : kFirstPassword);
  try {
    return newConnection(db);
  } catch (...) {
    copyText(db.password, refused);
    throw;
  }
}

int connect(DatabaseConnection& db) {
  try {
    db.driver = get_driver_instance();
    db.connection.reset(newConnection(db));
    return 0;
  } catch (const sql::SQLException& e) {
    return e.getErrorCode();
  } catch (const std::exception&) {
    return -1;
  }
}

int openConnection(DatabaseConnection& db) {
  clear(db);
  readServerAddress(db);
  buildUrl(db);
  copyText(db.password, kFirstPassword);
  if (connect(db) == kAccessDenied) {
    copyText(db.password, kSecondPassword);
    connect(db);
  }
  return 0;
}

}  // namespace kestrune
