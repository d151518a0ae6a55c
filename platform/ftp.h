// Sends local files to a folder of an FTP server with libcurl (on every
// system): passive, binary, the remote folder must exist. The log-in and the
// transfer go over TLS (AUTH TLS) as the account's `tls` asks. The files of
// one run go over one session: one log-in, one control connection.
#pragma once

#include <memory>
#include <string>

namespace kestrune {

// How much TLS an upload asks for.
enum class FtpTls {
  kTry,      // TLS when the server offers it, any certificate; plain otherwise
  kRequire,  // TLS on control and data with a trusted certificate, or nothing
  kOff,      // plain FTP
};

struct FtpAccount {
  std::string host;
  int port = 21;
  std::string user;
  std::string password;
  FtpTls tls = FtpTls::kTry;
};

// What an upload learnt besides its result code.
struct FtpOutcome {
  bool tls = false;        // the server accepted AUTH TLS: the log-in was encrypted
  bool plainData = false;  // ... but it refused PROT P: the data went in the clear
  std::string tlsProblem;  // why TLS kept the upload from going ahead; empty otherwise
  bool again = false;      // it failed on the session's kept connection and went on a new one
};

// Upper bounds on waiting for a server that accepts and then falls silent.
struct FtpTimeouts {
  int connectSeconds = 30;   // connect, greeting and log-in
  int responseSeconds = 60;  // each later reply
  int stallSeconds = 30;     // a data transfer that stops moving
  int totalSeconds = 600;    // the whole upload, however the server trickles
};

// Result codes, in the order of the steps.
enum : int {
  kFtpDone = 9,
  kFtpOpenFailed = -1,     // the client could not be set up
  kFtpConnectFailed = -2,  // connection or log-in failed
  kFtpFolderFailed = -5,   // entering the remote folder failed
  kFtpPutFailed = -11,     // the transfer failed (a missing local file too)
};

// A run's connection to the server, kept logged in from one request to the
// next: the first request opens it (a session never used opens nothing),
// closeFtpSession or the end of the session closes it (QUIT). A request that
// fails on the kept connection (the server closed it while idle, refused a
// second transfer on it, the line broke) is made once more on a new
// connection, as if it were the session's first, unless it ran out of time
// (a silent server is not waited for twice); after two such failures the
// session keeps no connection and each request has one of its own. TLS
// sessions are kept too, so that data connections can resume the log-in's.
// One thread at a time.
struct FtpConnection;
struct FtpSession {
  FtpSession();
  ~FtpSession();
  FtpSession(const FtpSession&) = delete;
  FtpSession& operator=(const FtpSession&) = delete;

  std::unique_ptr<FtpConnection> connection;  // none before the first request, or after a failure
  int brokenConnections = 0;                  // kept connections that failed a request
};

// Ends the session's connection (QUIT); the next request opens a new one.
void closeFtpSession(FtpSession& session);

// Log in (unless `session` is logged in for this account and folder), enter
// `remoteFolder`, store `localPath` as `remoteName` there, replacing a file
// of that name. Returns one of the codes above; a server that cannot give
// the TLS `account.tls` asks for fails with -2. Without a session the upload
// has a connection of its own.
int ftpPutFile(FtpSession& session, const FtpAccount& account, const std::string& remoteFolder,
               const std::string& remoteName, const std::string& localPath,
               FtpOutcome* outcome = nullptr);
int ftpPutFile(const FtpAccount& account, const std::string& remoteFolder,
               const std::string& remoteName, const std::string& localPath,
               FtpOutcome* outcome = nullptr);

// Whether `remoteName` is in `remoteFolder` (MDTM and SIZE), for a file that
// must not be replaced: 1 when it is, with its time of change (seconds since
// 1970) in *modified, or -1 there when the server does not say; 0 when it is
// not; else the code of the step that failed (-1, -2 or -5).
int ftpFileTime(FtpSession& session, const FtpAccount& account, const std::string& remoteFolder,
                const std::string& remoteName, long long* modified);

// Time-outs used by later ftpPutFile calls (tests shorten them).
void setFtpTimeouts(const FtpTimeouts& timeouts);
FtpTimeouts ftpTimeouts();

}  // namespace kestrune
