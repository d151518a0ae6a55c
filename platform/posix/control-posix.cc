// The control on Linux: a local socket where Windows has the hidden window.
// $XDG_RUNTIME_DIR/kestrune-$UID.sock, or without XDG_RUNTIME_DIR (cron, su,
// a system service) in $HOME/.cache/kestrune, a folder of the user's own
// (0700); mode 0600, peers of other users refused, and a client talks only to
// a socket of its own user. A client tries $XDG_RUNTIME_DIR, /run/user/$UID
// and $HOME/.cache/kestrune in turn, whatever its own environment. One
// request per connection, one line of text:
//   "0x488"  run an expense export; answered when it has finished
//   "0x490"  count a request
//   "status" the status panel as text
//   "report" a daily report now; answered when that run has finished
// Requests are served one after the other, as the window serves its messages.
// A report runs on the scheduler's thread: its client waits aside, and the
// loop goes on serving others until the answer comes.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/control.h"
#include "platform/errors.h"

namespace kestrune {

namespace {

constexpr size_t kMaxRequest = 256;  // longer requests are refused
constexpr size_t kMaxClients = 256;  // connections waiting at once
constexpr int kRequestSeconds = 5;   // time a client has to say what it wants

struct Client {
  int fd;
  std::string buffer;
  std::chrono::steady_clock::time_point deadline;
};

struct ControlSocket {
  ControlHandlers handlers;
  std::string path;
  int listenFd = -1;
  int signalFd = -1;
  std::vector<Client> clients;
  std::map<uint64_t, int> waiting;  // clients waiting for a later answer, by number
};

ControlSocket gControl;
// The wake pipe ends the loop ('q') or tells it that later answers came ('a').
int gWakePipe[2] = {-1, -1};
// The loop was asked to end while it waited for work of another thread.
bool gEnding = false;

// Later answers, handed over by other threads.
std::mutex gAnswersMutex;
std::vector<std::pair<uint64_t, std::string>> gAnswers;
uint64_t gLastWaiting = 0;  // loop thread only

void wakeLoop(char why) {
  if (gWakePipe[1] >= 0) {
    ssize_t ignored = ::write(gWakePipe[1], &why, 1);
    (void)ignored;
  }
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Sends the whole answer; a client that does not read within a few seconds loses it.
void sendAll(int fd, const std::string& text) {
  size_t sent = 0;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (sent < text.size()) {
    ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
        std::chrono::steady_clock::now() < until) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 100);
      continue;
    }
    return;
  }
}

void finish(Client& c, const std::string& answer) {
  sendAll(c.fd, answer);
  ::close(c.fd);
  c.fd = -1;
}

// Parks the client until its answer comes from another thread; a client of
// an agent that ends first loses its connection without an answer.
void answerLater(Client& c) {
  uint64_t number = ++gLastWaiting;
  gControl.waiting[number] = c.fd;
  int fd = c.fd;
  c.fd = -1;
  try {
    gControl.handlers.onReportRequest([number](const std::string& answer) {
      {
        std::lock_guard<std::mutex> lock(gAnswersMutex);
        gAnswers.emplace_back(number, answer);
      }
      wakeLoop('a');
    });
  } catch (...) {
    gControl.waiting.erase(number);
    c.fd = fd;  // answered with the error at once
    throw;
  }
}

void sendLaterAnswers() {
  std::vector<std::pair<uint64_t, std::string>> answers;
  {
    std::lock_guard<std::mutex> lock(gAnswersMutex);
    answers.swap(gAnswers);
  }
  for (const auto& [number, text] : answers) {
    auto it = gControl.waiting.find(number);
    if (it == gControl.waiting.end()) continue;  // from an earlier loop
    sendAll(it->second, text);
    ::close(it->second);
    gControl.waiting.erase(it);
  }
}

std::string answerRequest(const std::string& request) {
  std::string r = lower(request);
  if (r == "0x488") {
    if (gEnding) return "error: the agent is ending; the export did not finish\n";
    if (!gControl.handlers.onExportRequest) return "ok: export finished\n";
    std::string answer = gControl.handlers.onExportRequest();
    if (gEnding) return "error: the agent is ending; the export did not finish\n";
    return answer;
  }
  if (r == "0x490") {
    if (gControl.handlers.onCounterRequest) gControl.handlers.onCounterRequest();
    return "ok: counted\n";
  }
  if (r == "status") {
    StatusPanel panel;
    if (gControl.handlers.readStatus) panel = gControl.handlers.readStatus();
    return statusPanelText(panel);
  }
  return "error: unknown request (expected 0x488, 0x490, status or report)\n";
}

// Takes what a client sent; answers once a whole line is there.
void readFrom(Client& c) {
  char buf[512];
  for (;;) {
    ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
    if (n > 0) {
      c.buffer.append(buf, static_cast<size_t>(n));
      // A whole line is all that is taken: a client that keeps sending
      // would otherwise hold the loop here and the buffer would grow.
      if (c.buffer.find('\n') != std::string::npos) break;
      if (c.buffer.size() > kMaxRequest) {
        finish(c, "error: request too long\n");
        return;
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    // end of input: what came is the request
    if (c.buffer.empty()) {
      ::close(c.fd);
      c.fd = -1;
      return;
    }
    c.buffer += '\n';
    break;
  }
  size_t nl = c.buffer.find('\n');
  if (nl == std::string::npos) return;
  std::string request = c.buffer.substr(0, nl);
  if (!request.empty() && request.back() == '\r') request.pop_back();
  if (request.size() > kMaxRequest) {
    finish(c, "error: request too long\n");
    return;
  }
  std::string answer;
  try {
    if (lower(request) == "report" && gControl.handlers.onReportRequest) {
      answerLater(c);
      return;
    }
    answer = answerRequest(request);
  } catch (const std::exception& e) {
    showError("CONTROL", std::string("request failed: ") + e.what());
    answer = "error: request failed\n";
  } catch (...) {
    showError("CONTROL", "request failed");
    answer = "error: request failed\n";
  }
  finish(c, answer);
}

void acceptClients() {
  for (;;) {
    int fd = ::accept4(gControl.listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    ucred peer{};
    socklen_t len = sizeof peer;
    Client c{fd, std::string(),
             std::chrono::steady_clock::now() + std::chrono::seconds(kRequestSeconds)};
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0 || peer.uid != ::getuid()) {
      finish(c, "error: refused: this agent serves its own user only\n");
      continue;
    }
    if (gControl.clients.size() + gControl.waiting.size() >= kMaxClients) {
      finish(c, "error: busy\n");
      continue;
    }
    gControl.clients.push_back(std::move(c));
  }
}

// A request that arrived while another one was served is taken before the
// client's time runs out.
void expireClients() {
  for (Client& c : gControl.clients) {
    if (c.fd < 0 || std::chrono::steady_clock::now() < c.deadline) continue;
    readFrom(c);
    if (c.fd >= 0) finish(c, "error: no request within 5 seconds\n");
  }
}

bool agentAnswers(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un sa{};
  sa.sun_family = AF_UNIX;
  std::strncpy(sa.sun_path, path.c_str(), sizeof sa.sun_path - 1);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  ::close(fd);
  return ok;
}

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  const passwd* user = ::getpwuid(::getuid());
  return user && user->pw_dir ? user->pw_dir : "";
}

// A folder that this user owns and nobody else can enter: made when missing,
// otherwise checked (a link, another owner or a looser mode is refused).
bool ensurePrivateFolder(const std::string& path, std::string* why) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    *why = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *why = path + " is not a folder";
    return false;
  }
  if (st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
    *why = path + " must belong to this user and be closed to others (mode 0700)";
    return false;
  }
  return true;
}

std::string socketName() { return "/kestrune-" + std::to_string(::getuid()) + ".sock"; }

// The socket in $HOME/.cache/kestrune; empty with `why` set when that folder
// cannot be trusted. Not a shared folder such as /tmp, where another user
// could make the socket first.
std::string cacheSocketPath(std::string* why) {
  std::string name = socketName();
  std::string home = homeFolder();
  if (home.empty()) {
    *why = "neither XDG_RUNTIME_DIR nor a home folder is known";
    return std::string();
  }
  std::string cache = home + "/.cache";
  if (::mkdir(cache.c_str(), 0700) != 0 && errno != EEXIST) {
    *why = "cannot create " + cache + ": " + std::strerror(errno);
    return std::string();
  }
  std::string folder = cache + "/kestrune";
  if (!ensurePrivateFolder(folder, why)) return std::string();
  return folder + name;
}

// The socket's path for the agent; empty with `why` set when its folder
// cannot be trusted.
std::string socketPath(std::string* why) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return runtime + socketName();
  return cacheSocketPath(why);
}

// Where a client looks for the agent, in this order: an agent started by the
// user's session manager has XDG_RUNTIME_DIR, a client from cron or su often
// has not (and the other way round). /run/user/UID counts only when it is a
// folder of this user's own.
std::vector<std::string> clientSocketPaths(std::string* why) {
  std::vector<std::string> paths;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) paths.push_back(runtime + socketName());
  std::string run = "/run/user/" + std::to_string(::getuid());
  struct stat st;
  if (::lstat(run.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
      (paths.empty() || paths[0] != run + socketName()))
    paths.push_back(run + socketName());
  std::string cache = cacheSocketPath(why);
  if (!cache.empty()) paths.push_back(cache);
  return paths;
}

}  // namespace

bool openControl(const ControlHandlers& handlers, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
  };
  ::signal(SIGPIPE, SIG_IGN);
  // SIGTERM and SIGINT are read from a descriptor by the loop; blocked here,
  // before other threads start, so that every thread inherits the block.
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGTERM);
  sigaddset(&mask, SIGINT);
  ::pthread_sigmask(SIG_BLOCK, &mask, nullptr);
  gControl.signalFd = ::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
  if (gControl.signalFd < 0) return fail("cannot watch signals");
  if (gWakePipe[0] < 0 && ::pipe2(gWakePipe, O_NONBLOCK | O_CLOEXEC) != 0)
    return fail("cannot make pipe");

  gControl.handlers = handlers;
  gEnding = false;
  std::string why;
  gControl.path = socketPath(&why);
  if (gControl.path.empty()) {
    if (error) *error = "no folder for the control socket: " + why;
    return false;
  }
  sockaddr_un sa{};
  if (gControl.path.size() >= sizeof sa.sun_path) {
    errno = ENAMETOOLONG;
    return fail("socket path too long: " + gControl.path);
  }
  if (agentAnswers(gControl.path)) {
    errno = EADDRINUSE;
    return fail("another agent answers on " + gControl.path);
  }
  ::unlink(gControl.path.c_str());  // left behind by an agent that died
  gControl.listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (gControl.listenFd < 0) return fail("cannot make socket");
  sa.sun_family = AF_UNIX;
  std::strncpy(sa.sun_path, gControl.path.c_str(), sizeof sa.sun_path - 1);
  mode_t old = ::umask(0177);
  int bound = ::bind(gControl.listenFd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  ::umask(old);
  if (bound != 0) return fail("cannot bind " + gControl.path);
  ::chmod(gControl.path.c_str(), 0600);
  if (::listen(gControl.listenFd, 64) != 0) return fail("cannot listen on " + gControl.path);
  return true;
}

int serveControl() {
  bool running = true;
  while (running) {
    std::vector<pollfd> fds = {
        {gControl.listenFd, POLLIN, 0}, {gControl.signalFd, POLLIN, 0}, {gWakePipe[0], POLLIN, 0}};
    for (const Client& c : gControl.clients) fds.push_back({c.fd, POLLIN, 0});
    int n = ::poll(fds.data(), fds.size(), 500);
    if (n < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) running = false;
    if (fds[2].revents & POLLIN) {
      char why[64];
      ssize_t got;
      while ((got = ::read(gWakePipe[0], why, sizeof why)) > 0)
        if (std::memchr(why, 'q', static_cast<size_t>(got))) running = false;
    }
    if (!running || gEnding) break;
    sendLaterAnswers();
    // clients first, in the order they came; then new ones
    for (size_t i = 3; i < fds.size(); ++i) {
      Client& c = gControl.clients[i - 3];
      if (c.fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) readFrom(c);
    }
    if (fds[0].revents & POLLIN) acceptClients();
    expireClients();
    gControl.clients.erase(std::remove_if(gControl.clients.begin(), gControl.clients.end(),
                                          [](const Client& c) { return c.fd < 0; }),
                           gControl.clients.end());
    if (gEnding) break;
  }
  for (Client& c : gControl.clients)
    if (c.fd >= 0) ::close(c.fd);
  gControl.clients.clear();
  for (const auto& waiting : gControl.waiting) ::close(waiting.second);
  gControl.waiting.clear();
  {
    std::lock_guard<std::mutex> lock(gAnswersMutex);
    gAnswers.clear();
  }
  ::close(gControl.listenFd);
  gControl.listenFd = -1;
  ::unlink(gControl.path.c_str());
  ::close(gControl.signalFd);
  gControl.signalFd = -1;
  char drain[64];
  while (::read(gWakePipe[0], drain, sizeof drain) > 0) {
  }
  return 0;
}

bool serveWhileWaiting(const std::function<bool()>& done) {
  while (!done()) {
    pollfd fds[] = {{gControl.signalFd, POLLIN, 0}, {gWakePipe[0], POLLIN, 0}};
    if (::poll(fds, 2, 20) <= 0) continue;
    // A signal stays unread: serveControl ends on it.
    if (fds[0].revents & POLLIN) {
      gEnding = true;
      return false;
    }
    if (fds[1].revents & POLLIN) {
      // A quit ends the loop; answers for waiting clients go out meanwhile.
      char why[64];
      ssize_t got;
      bool quit = false;
      while ((got = ::read(gWakePipe[0], why, sizeof why)) > 0)
        if (std::memchr(why, 'q', static_cast<size_t>(got))) quit = true;
      if (quit) {
        gEnding = true;
        return false;
      }
      sendLaterAnswers();
    }
  }
  return true;
}

void requestEnd() { wakeLoop('q'); }

int sendToAgent(const std::string& request, std::string* answer) {
  ::signal(SIGPIPE, SIG_IGN);
  std::string why;
  std::vector<std::string> paths = clientSocketPaths(&why);
  if (paths.empty()) {
    *answer = "no agent answers: " + why;
    return 2;
  }
  // The first socket that answers is the agent's.
  int fd = -1;
  std::string path, missed;
  for (const std::string& candidate : paths) {
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      *answer = std::string("cannot make socket: ") + std::strerror(errno);
      return 2;
    }
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::strncpy(sa.sun_path, candidate.c_str(), sizeof sa.sun_path - 1);
    if (candidate.size() < sizeof sa.sun_path &&
        ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
      path = candidate;
      break;
    }
    int code = candidate.size() < sizeof sa.sun_path ? errno : ENAMETOOLONG;
    missed += (missed.empty() ? "" : "; ") + candidate + ": " + std::strerror(code);
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    *answer = "no agent answers on " + missed + (why.empty() ? "" : "; " + why);
    return 2;
  }
  // Whoever made the socket gets no request (nor the chance to answer "ok").
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::getuid()) {
    *answer = "refused: " + path + " is served by user " + std::to_string(peer.uid) +
              ", not by this user's agent";
    ::close(fd);
    return 2;
  }
  std::string line = request + "\n";
  ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
  ::shutdown(fd, SHUT_WR);
  answer->clear();
  char buf[4096];
  ssize_t n;
  while ((n = ::recv(fd, buf, sizeof buf, 0)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    answer->append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (answer->empty()) {
    *answer = "the agent closed the connection without an answer";
    return 1;
  }
  return answer->rfind("error:", 0) == 0 ? 1 : 0;
}

}  // namespace kestrune
