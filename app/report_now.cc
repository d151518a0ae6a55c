#include "app/report_now.h"

#include <utility>

namespace kestrune {

bool askReportNow(ReportRequests& requests) {
  {
    std::lock_guard<std::mutex> lock(requests.mutex);
    if (requests.asked || requests.running) return false;
    requests.asked = true;
  }
  raiseWake(requests.wake);
  return true;
}

void askReportNowAndReply(ReportRequests& requests, ReportReply reply) {
  {
    std::lock_guard<std::mutex> lock(requests.mutex);
    requests.asked = true;
    requests.replies.push_back(std::move(reply));
  }
  raiseWake(requests.wake);
}

void markRunning(ReportRequests& requests, bool running) {
  std::lock_guard<std::mutex> lock(requests.mutex);
  requests.running = running;
}

bool takeAskedRun(ReportRequests& requests, std::vector<ReportReply>* replies) {
  std::lock_guard<std::mutex> lock(requests.mutex);
  if (!requests.asked) return false;
  requests.asked = false;
  requests.running = true;
  replies->swap(requests.replies);
  requests.replies.clear();
  return true;
}

}  // namespace kestrune
