// "Reporting Now": a daily report asked for outside the schedule, by the tray
// menu's item or by `kestrune report`. It runs on the scheduler's thread, so
// never beside another report run.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace kestrune {

struct RunOutcome;

// Hands the outcome of the asked-for run to a client that waits for it.
using ReportReply = std::function<void(const RunOutcome&)>;

struct ReportRequests {
  std::mutex mutex;
  bool asked = false;                // a run was asked for and has not started yet
  bool running = false;              // the scheduler's thread is in a run, asked for or scheduled
  std::vector<ReportReply> replies;  // those waiting for the asked-for run
  WakeSignal wake;                   // cuts the scheduler's tick short
};

// The tray menu: asks for a run, unless one is running or already asked for;
// the click is dropped then, not queued. True when asked.
bool askReportNow(ReportRequests& requests);

// A client that waits (`kestrune report`): asks for a run that starts after
// this call, right after the one in progress if there is one, and gets its
// outcome through `reply`, called on the scheduler's thread. Clients that ask
// before that run starts share it.
void askReportNowAndReply(ReportRequests& requests, ReportReply reply);

// The scheduler's thread, around each of its own runs.
void markRunning(ReportRequests& requests, bool running);

// The scheduler's thread: when a run was asked for, marks it started
// (running) and hands over the replies waiting for it. False when none was.
bool takeAskedRun(ReportRequests& requests, std::vector<ReportReply>* replies);

}  // namespace kestrune
