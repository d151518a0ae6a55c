// How other programs and people reach the agent: the control. On Windows a
// hidden main window with a tray icon and a status panel; on Linux a local
// control socket. Both take the same two requests from other programs (0x488
// export, 0x490 counter), ask for a report now (the tray menu's "Reporting
// Now", `kestrune report`) and show the same status panel.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrune {

// Message numbers other programs send (WM_USER + 136 and WM_USER + 144).
constexpr unsigned kExportRequestMessage = 0x488;
constexpr unsigned kCounterRequestMessage = 0x490;

// What the status panel shows.
struct StatusPanel {
  std::u16string companyName;  // compname, from UTF-8, at most 128 units
  std::u16string branchName;   // from UTF-8
  int32_t branchNo = 0;
  std::string companyFolder;  // compfolder as stored (8-bit)
  int32_t dailyReportsSent = 0;
  int32_t monthlyReportsSent = 0;
  // Requests from other programs; in the status text only, not painted.
  int32_t exportRequests = 0;
  int32_t exportsCompleted = 0;
  int32_t counterRequests = 0;
  // How the agent is doing (last uploads, last export, last error, servers),
  // label and value per line, UTF-8; painted below the counters and
  // printed after every other line.
  std::vector<std::string> healthLines;
};

// Gives a waiting client its answer ("ok: ..." or "error: ..."); call it
// once, from any thread.
using AnswerLater = std::function<void(const std::string& answer)>;

struct ControlHandlers {
  // Runs a whole export and returns when done, with the answer for a client
  // that asked ("ok: ..." when gider.dat arrived, else "error: ...").
  std::function<std::string()> onExportRequest;
  std::function<void()> onCounterRequest;
  // A daily report now. The tray menu gives no `answer` and waits for
  // nothing; a client (`kestrune report`) is answered when its run is done.
  std::function<void(AnswerLater answer)> onReportRequest;
  std::function<StatusPanel()> readStatus;
};

// Opens the control: creates the main window (hidden) and its tray icon, or
// binds and listens on the control socket. Requests are only served by
// serveControl. False with `error` set on failure.
bool openControl(const ControlHandlers& handlers, std::string* error);

// Serves requests until the user or a signal ends the agent; returns the exit code.
int serveControl();

// For a request whose work runs on another thread (an export): keeps serving
// what must not wait while the serving thread waits for `done()`. On Windows
// the window paints, opens its menu and takes its messages, WM_CLOSE
// included; on Linux SIGTERM and SIGINT are heard. True once `done()` holds;
// false as soon as the agent is asked to end (serveControl then returns
// without serving anything more).
bool serveWhileWaiting(const std::function<bool()>& done);

// The status changed: the window repaints its panel (Linux has nothing to
// repaint: `kestrune status` always reads the current values).
void refreshStatus();

// How many refreshes this process has asked for so far (tests watch it).
int statusRefreshCount();

// Ends serveControl from any thread (SIGTERM does the same).
void requestEnd();

// The status panel as lines of UTF-8 text, labels as painted, followed by
// the counts of the requests from other programs and the health lines.
std::string statusPanelText(const StatusPanel& panel);

// Client side: sends `request` ("0x488", "0x490", "status"; "report" on
// Linux) to the agent of this user. Returns 0 and the agent's answer; 1 with
// the agent's answer when it refused or the request failed; 2 with a message
// when no agent answers.
int sendToAgent(const std::string& request, std::string* answer);

}  // namespace kestrune
