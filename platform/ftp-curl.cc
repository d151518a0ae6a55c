// The FTP upload with libcurl, the same on every system (on Windows a static
// libcurl on Schannel, made by tools/build-win-deps): log in and enter the
// remote folder first, then open the local file, then STOR on the same
// connection. The easy handle is driven through a multi handle of our own, so
// that the waits are ours: on this libcurl a plain curl_easy_perform sometimes
// sits a whole second before the data connection (see drive()).
#include "platform/ftp.h"

// curl.h brings fd_set (sockets on Windows) for curl_multi_fdset.
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "platform/folders.h"
#include "platform/trusted_roots.h"

namespace kestrune {

namespace {

CURLcode globalInit() {
  static std::once_flag once;
  static CURLcode result = CURLE_FAILED_INIT;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return result;
}

// Control characters would end the FTP command line early and start another.
bool hasControlCharacter(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

bool isHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_' || c == ':';
}

// Host part of the URL; empty when the host name cannot be a host name.
std::string urlHost(const std::string& host) {
  if (host.empty()) return std::string();
  for (char c : host)
    if (!isHostCharacter(c)) return std::string();
  if (host.find(':') != std::string::npos) return "[" + host + "]";  // IPv6
  return host;
}

// Percent-encodes all but unreserved characters; '/' stays a separator when
// `keepSlash`.
std::string urlPath(const std::string& s, bool keepSlash) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '.' || c == '_' || c == '~' || (keepSlash && c == '/');
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// Notes which commands went to the server, to tell the log-in from the
// folder step when the first request fails, and whether AUTH TLS was accepted.
struct CommandLog {
  bool cwdSent = false;
  bool authSent = false;
  bool authAccepted = false;
  bool tls = false;  // the log-in went over TLS
  bool protSent = false;
  bool dataTls = false;  // the server took PROT P: the data goes over TLS too
  // Between a passive-mode reply and the reply to the transfer command: the
  // data connection is being opened.
  bool dataOpening = false;
};

bool startsWithCommand(const char* data, size_t size, const char* command) {
  size_t n = std::strlen(command);
  if (size <= n || data[n] != ' ') return false;
  for (size_t i = 0; i < n; ++i)
    if (std::toupper(static_cast<unsigned char>(data[i])) != command[i]) return false;
  return true;
}

int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  CommandLog* log = static_cast<CommandLog*>(user);
  if (type == CURLINFO_HEADER_OUT) {
    if (startsWithCommand(data, size, "CWD")) log->cwdSent = true;
    if (startsWithCommand(data, size, "AUTH")) log->authSent = true;
    if (startsWithCommand(data, size, "USER")) log->tls = log->authAccepted;
    if (startsWithCommand(data, size, "PROT")) log->protSent = true;
  } else if (type == CURLINFO_HEADER_IN && log->protSent && size >= 4 && data[3] == ' ') {
    log->dataTls = data[0] == '2';  // with `try` curl goes on in the clear after a refusal
    log->protSent = false;
  } else if (type == CURLINFO_HEADER_IN && log->authSent && size >= 4 && data[0] == '2' &&
             data[1] == '3' && data[2] == '4' && data[3] == ' ') {
    log->authAccepted = true;  // 234: the connection goes over to TLS now
  }
  if (type == CURLINFO_HEADER_IN && size >= 4 && data[3] == ' ') {
    if (data[0] == '2' && data[1] == '2' && (data[2] == '7' || data[2] == '9'))
      log->dataOpening = true;  // 227, 229: passive mode entered
    else if (data[0] == '1' || data[0] >= '4')
      log->dataOpening = false;  // the transfer starts, or failed
  }
  return 0;
}

// Reads the local file; a read error aborts the transfer instead of ending
// it early as if the file were shorter.
size_t onRead(char* buffer, size_t size, size_t count, void* user) {
  std::FILE* file = static_cast<std::FILE*>(user);
  size_t n = std::fread(buffer, 1, size * count, file);
  if (n == 0 && std::ferror(file)) return CURL_READFUNC_ABORT;
  return n;
}

// Runs one request of `easy` to its end. The connection stays in the multi
// handle's cache for the next request.
CURLcode drive(CURLM* multi, CURL* easy, const CommandLog& log) {
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode result = CURLE_FAILED_INIT;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) break;
    bool done = false;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
        result = msg->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;
    // Between the passive-mode reply and the data connection this libcurl
    // sometimes has no socket to wait on, and a poll would sleep its whole
    // time-out (a second of every few hundred uploads): then look again soon.
    // While the data connection's TLS handshake is pending (the server
    // answers it only after the transfer command) it waits on the data
    // socket alone: a reply on the control connection (to TYPE I, sent
    // meanwhile) would sleep out the poll, a second of every first upload
    // over a line with a round trip; so while the data connection is being
    // opened it looks again every 2 ms. Otherwise curl wakes the poll
    // itself; the easy handle's time-outs end a silent server.
    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    int maxFd = -1;
    curl_multi_fdset(multi, &readable, &writable, &failed, &maxFd);
    int wait = maxFd < 0 ? 10 : log.dataOpening ? 2 : 1000;
    if (curl_multi_poll(multi, nullptr, 0, wait, nullptr) != CURLM_OK) break;
  }
  curl_multi_remove_handle(multi, easy);
  return result;
}

bool isClientFailure(CURLcode code) {
  return code == CURLE_FAILED_INIT || code == CURLE_OUT_OF_MEMORY ||
         code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_NOT_BUILT_IN ||
         code == CURLE_BAD_FUNCTION_ARGUMENT || code == CURLE_UNKNOWN_OPTION;
}

// Why a failed request failed because of TLS; empty when TLS was not the cause.
std::string tlsProblem(CURLcode code, const char* detail) {
  std::string why;
  if (code == CURLE_USE_SSL_FAILED)
    why = "the FTP server offers no TLS (control and data), which ftptls=require asks for";
  else if (code == CURLE_PEER_FAILED_VERIFICATION)
    why = "the FTP server's certificate is not trusted";
  else if (code == CURLE_SSL_CONNECT_ERROR || code == CURLE_SSL_CERTPROBLEM ||
           code == CURLE_SSL_CIPHER || code == CURLE_SSL_CACERT_BADFILE ||
           code == CURLE_SSL_ENGINE_INITFAILED)
    why = "the TLS handshake with the FTP server failed";
  else
    return std::string();
  if (detail && *detail) why += std::string(" (") + detail + ")";
  return why;
}

// Sets the options every request of a connection shares. The lines curl
// makes up from MDTM and SIZE ("Last-Modified: ...") would go to standard
// output, as header and as body: they are dropped.
size_t onHeaderIgnored(char*, size_t size, size_t count, void*) { return size * count; }

// TLS as the account asks. `try` takes any certificate: a listener learns
// nothing, and a server with a certificate of its own making keeps working.
// `require` checks the certificate against the system's store: Debian's CA
// bundle on Linux, Windows' "Root" store handed to libcurl (see
// trusted-roots-win32.cc). A revocation list or responder that cannot be
// reached does not stop an upload; a certificate known to be revoked does.
bool setTlsOptions(CURL* easy, FtpTls tls) {
  long use = tls == FtpTls::kRequire ? CURLUSESSL_ALL
             : tls == FtpTls::kTry   ? CURLUSESSL_TRY
                                     : CURLUSESSL_NONE;
  long verify = tls == FtpTls::kRequire ? 1L : 0L;
  bool ok = curl_easy_setopt(easy, CURLOPT_USE_SSL, use) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS)) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_FTP_SSL_CCC, static_cast<long>(CURLFTPSSL_CCC_NONE)) ==
        CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, verify) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L) == CURLE_OK;
  // The key share goes out for P-256 first, the one group every TLS 1.3
  // server has: a server without X25519 (pure-ftpd's, for one) otherwise asks
  // again for each of the two handshakes, a round and a key more, about 1 ms
  // of an upload. Only OpenSSL takes a list; Schannel picks by itself.
  curl_easy_setopt(easy, CURLOPT_SSL_EC_CURVES, "P-256:X25519:P-384:P-521");
  if (tls != FtpTls::kRequire) return ok;
  if (std::optional<std::string> roots = trustedRootsPem()) {
    curl_blob blob{roots->data(), roots->size(), CURL_BLOB_COPY};
    ok &= curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob) == CURLE_OK;
    ok &= curl_easy_setopt(easy, CURLOPT_SSL_OPTIONS,
                           static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT)) == CURLE_OK;
  }
  return ok;
}

bool setOptions(CURL* easy, const FtpAccount& account, const FtpTimeouts& t, CommandLog* log,
                char* detail) {
  auto atLeastOne = [](int seconds) { return static_cast<long>(seconds > 0 ? seconds : 1); };
  bool ok = true;
  ok &= curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp") == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_USERNAME, account.user.c_str()) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_PASSWORD, account.password.c_str()) == CURLE_OK;
  // Passive (no CURLOPT_FTPPORT), binary, one CWD for the whole folder so
  // that a missing folder fails on the CWD; missing folders are not created.
  ok &= curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD,
                         static_cast<long>(CURLFTPMETHOD_SINGLECWD)) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_FTP_CREATE_MISSING_DIRS,
                         static_cast<long>(CURLFTP_CREATE_DIR_NONE)) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, 0L) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_APPEND, 0L) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, atLeastOne(t.connectSeconds)) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, atLeastOne(t.responseSeconds)) ==
        CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, atLeastOne(t.stallSeconds)) == CURLE_OK;
  // This libcurl drives the TLS handshake of an FTPS data connection on only
  // when the connection's "happy eyeballs" timer (200 ms by default) fires:
  // every TLS upload waited that long before its TYPE I was answered. The
  // timer only staggers the second address family's attempt; 1 ms costs
  // nothing else.
  ok &= curl_easy_setopt(easy, CURLOPT_HAPPY_EYEBALLS_TIMEOUT_MS, 1L) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeaderIgnored) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onHeaderIgnored) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_READFUNCTION, onRead) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, detail) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, onDebug) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_DEBUGDATA, log) == CURLE_OK;
  ok &= curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L) == CURLE_OK;  // feeds onDebug only
  ok &= setTlsOptions(easy, account.tls);
  return ok;
}

// "ftp://host:port/folder/" for the account; empty when the host, the port,
// the user or the password cannot go into a request (no command may be
// smuggled in through a name).
std::string folderUrlOf(const FtpAccount& account, const std::string& remoteFolder) {
  std::string host = urlHost(account.host);
  if (host.empty() || account.port <= 0 || account.port > 65535 ||
      hasControlCharacter(account.user) || hasControlCharacter(account.password))
    return std::string();
  std::string url =
      "ftp://" + host + ":" + std::to_string(account.port) + "/" + urlPath(remoteFolder, true);
  if (url.back() != '/') url += '/';
  return url;
}

// Which account and folder a connection is logged in for.
std::string sessionKey(const FtpAccount& account, const std::string& folderUrl) {
  return folderUrl + '\n' + account.user + '\n' + account.password + '\n' +
         std::to_string(static_cast<int>(account.tls));
}

// What is left of a request's bound, started at `started`; at least 1 ms.
long msLeft(std::chrono::steady_clock::time_point started, const FtpTimeouts& t) {
  long usedMs = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - started)
                                      .count());
  return std::max(1L, t.totalSeconds * 1000L - usedMs);
}

struct LocalFile {
  std::FILE* file = nullptr;
  long long size = 0;
  ~LocalFile() {
    if (file) std::fclose(file);
  }
};

}  // namespace

// libcurl's handles of one connection: the connection itself stays in the
// multi handle's cache from one request to the next.
struct FtpConnection {
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  CommandLog log;
  char detail[CURL_ERROR_SIZE] = {};
  std::string key;  // sessionKey() of what it is logged in for; empty before
  ~FtpConnection() {
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);  // closes the connection (QUIT)
  }
};

FtpSession::FtpSession() = default;
FtpSession::~FtpSession() = default;

void closeFtpSession(FtpSession& session) { session.connection.reset(); }

namespace {

// A connection set up for `account`, not yet opened; null when the client
// cannot be set up.
std::unique_ptr<FtpConnection> newConnection(const FtpAccount& account, const FtpTimeouts& t) {
  if (globalInit() != CURLE_OK) return nullptr;
  auto c = std::make_unique<FtpConnection>();
  c->multi = curl_multi_init();
  c->easy = curl_easy_init();
  if (!c->multi || !c->easy || !setOptions(c->easy, account, t, &c->log, c->detail)) return nullptr;
  return c;
}

// What a request asks of the server.
enum class Step {
  kEnterFolder,  // connect, log in and enter the folder, without a transfer
  kStore,        // STOR of a file (on a connection in its folder, or one curl opens again)
  kAskTime,      // MDTM and SIZE of a file
};

// One request on `c`, within `leftMs`; `file` is what kStore sends.
CURLcode request(FtpConnection& c, Step step, const std::string& url, long leftMs,
                 const LocalFile* file = nullptr) {
  c.detail[0] = '\0';
  c.log.cwdSent = false;
  c.log.dataOpening = false;
  bool store = step == Step::kStore;
  bool ok =
      curl_easy_setopt(c.easy, CURLOPT_NOBODY, store ? 0L : 1L) == CURLE_OK &&
      curl_easy_setopt(c.easy, CURLOPT_UPLOAD, store ? 1L : 0L) == CURLE_OK &&
      curl_easy_setopt(c.easy, CURLOPT_FILETIME, step == Step::kAskTime ? 1L : 0L) == CURLE_OK &&
      curl_easy_setopt(c.easy, CURLOPT_URL, url.c_str()) == CURLE_OK &&
      curl_easy_setopt(c.easy, CURLOPT_TIMEOUT_MS, leftMs) == CURLE_OK;
  if (ok && store)
    ok = curl_easy_setopt(c.easy, CURLOPT_READDATA, file->file) == CURLE_OK &&
         curl_easy_setopt(c.easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(file->size)) ==
             CURLE_OK;
  if (!ok) return CURLE_FAILED_INIT;
  return drive(c.multi, c.easy, c.log);
}

void noteTls(const FtpConnection& c, FtpOutcome& out) {
  out.tls = c.log.tls;
  out.plainData = c.log.tls && !c.log.dataTls;
}

// The session's kept connection when it is logged in for `key`; else none
// (the connection for another account or folder is closed).
FtpConnection* keptConnection(FtpSession& session, const std::string& key) {
  if (session.connection && session.connection->key == key) return session.connection.get();
  closeFtpSession(session);
  return nullptr;
}

// Whether a request failed because the server or the line stayed silent
// for one of the time-outs. This libcurl gives the same code at once for a
// closed connection and a server's 421 ("closing control connection").
bool waitedOut(CURLcode result, std::chrono::steady_clock::time_point started,
               const FtpTimeouts& t) {
  if (result != CURLE_OPERATION_TIMEDOUT) return false;
  int shortest =
      std::max(1, std::min({t.connectSeconds, t.responseSeconds, t.stallSeconds, t.totalSeconds}));
  return std::chrono::steady_clock::now() - started >= std::chrono::seconds(shortest);
}

// After a failed request on the kept connection: it goes, and the request
// is made again on a new one.
void dropBroken(FtpSession& session) {
  closeFtpSession(session);
  session.brokenConnections += 1;
}

// A new connection that served a request well stays for the next, unless
// kept connections failed twice already in this session.
void keep(FtpSession& session, std::unique_ptr<FtpConnection>& c, const std::string& key) {
  if (session.brokenConnections >= 2) return;
  c->key = key;
  session.connection = std::move(c);
}

}  // namespace

int ftpPutFile(FtpSession& session, const FtpAccount& account, const std::string& remoteFolder,
               const std::string& remoteName, const std::string& localPath, FtpOutcome* outcome) {
  FtpOutcome ignored;
  FtpOutcome& out = outcome ? *outcome : ignored;
  out = FtpOutcome{};
  if (globalInit() != CURLE_OK) return kFtpOpenFailed;
  FtpTimeouts timeouts = ftpTimeouts();
  auto started = std::chrono::steady_clock::now();

  // No command may be smuggled in through a name: those are refused in the
  // step that would have sent them.
  std::string folderUrl = folderUrlOf(account, remoteFolder);
  if (folderUrl.empty()) return kFtpConnectFailed;
  if (hasControlCharacter(remoteFolder)) return kFtpFolderFailed;
  bool nameOk = !remoteName.empty() && !hasControlCharacter(remoteName);
  std::string fileUrl = folderUrl + urlPath(remoteName, false);
  std::string key = sessionKey(account, folderUrl);

  // Never blocked by a pipe, never through a link: a regular file or nothing.
  LocalFile file;
  if (FtpConnection* kept = keptConnection(session, key)) {
    if (!nameOk) return kFtpPutFailed;
    file.file = openRegularFile(localPath, &file.size);
    if (!file.file) return kFtpPutFailed;
    CURLcode result = request(*kept, Step::kStore, fileUrl, msLeft(started, timeouts), &file);
    noteTls(*kept, out);
    if (result == CURLE_OK) return kFtpDone;
    dropBroken(session);
    // A server or line that fell silent would only make the file wait out
    // its time-out twice: the next file opens a new connection.
    if (waitedOut(result, started, timeouts)) return kFtpPutFailed;
    out.again = true;
    std::rewind(file.file);
  }

  // A new connection. Step 1: connect, log in and enter the folder, without
  // a transfer.
  std::unique_ptr<FtpConnection> c = newConnection(account, timeouts);
  if (!c) return kFtpOpenFailed;
  CURLcode result = request(*c, Step::kEnterFolder, folderUrl, msLeft(started, timeouts));
  noteTls(*c, out);
  if (result != CURLE_OK) {
    if (isClientFailure(result)) return kFtpOpenFailed;
    out.tlsProblem = tlsProblem(result, c->detail);
    // TLS is settled while connecting, before any folder or file is sent.
    if (!out.tlsProblem.empty()) return kFtpConnectFailed;
    return c->log.cwdSent ? kFtpFolderFailed : kFtpConnectFailed;
  }

  // Step 2: the local file, then STOR on the same connection.
  FtpConnection& now = *c;
  keep(session, c, key);  // a missing local file leaves the connection as good
  if (!nameOk) return kFtpPutFailed;
  if (!file.file) file.file = openRegularFile(localPath, &file.size);
  if (!file.file) return kFtpPutFailed;
  // Both steps (and a try on the kept connection) stay within the upload's bound.
  result = request(now, Step::kStore, fileUrl, msLeft(started, timeouts), &file);
  if (result == CURLE_OK) return kFtpDone;
  closeFtpSession(session);
  return kFtpPutFailed;
}

int ftpPutFile(const FtpAccount& account, const std::string& remoteFolder,
               const std::string& remoteName, const std::string& localPath, FtpOutcome* outcome) {
  FtpSession session;
  return ftpPutFile(session, account, remoteFolder, remoteName, localPath, outcome);
}

int ftpFileTime(FtpSession& session, const FtpAccount& account, const std::string& remoteFolder,
                const std::string& remoteName, long long* modified) {
  *modified = -1;
  if (globalInit() != CURLE_OK) return kFtpOpenFailed;
  FtpTimeouts timeouts = ftpTimeouts();
  auto started = std::chrono::steady_clock::now();
  std::string folderUrl = folderUrlOf(account, remoteFolder);
  if (folderUrl.empty()) return kFtpConnectFailed;
  if (hasControlCharacter(remoteFolder) || remoteName.empty() || hasControlCharacter(remoteName))
    return kFtpFolderFailed;
  std::string fileUrl = folderUrl + urlPath(remoteName, false);
  std::string key = sessionKey(account, folderUrl);

  // The answer: SIZE answers 550 for a file that is not there (MDTM's 550
  // curl passes by); both leave the connection as good.
  auto answer = [modified](FtpConnection& c, CURLcode result) {
    if (result == CURLE_REMOTE_FILE_NOT_FOUND) return 0;
    curl_off_t time = -1;
    if (curl_easy_getinfo(c.easy, CURLINFO_FILETIME_T, &time) == CURLE_OK && time >= 0)
      *modified = static_cast<long long>(time);
    return 1;
  };
  if (FtpConnection* kept = keptConnection(session, key)) {
    CURLcode result = request(*kept, Step::kAskTime, fileUrl, msLeft(started, timeouts));
    if (result == CURLE_OK || result == CURLE_REMOTE_FILE_NOT_FOUND) return answer(*kept, result);
    dropBroken(session);
    if (waitedOut(result, started, timeouts)) return kFtpConnectFailed;
  }
  std::unique_ptr<FtpConnection> c = newConnection(account, timeouts);
  if (!c) return kFtpOpenFailed;
  CURLcode result = request(*c, Step::kAskTime, fileUrl, msLeft(started, timeouts));
  if (result != CURLE_OK && result != CURLE_REMOTE_FILE_NOT_FOUND) {
    if (isClientFailure(result)) return kFtpOpenFailed;
    return c->log.cwdSent && tlsProblem(result, nullptr).empty() ? kFtpFolderFailed
                                                                 : kFtpConnectFailed;
  }
  int found = answer(*c, result);
  keep(session, c, key);
  return found;
}

}  // namespace kestrune
