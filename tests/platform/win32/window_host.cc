// The window test's agent: the real main window, tray icon and message loop,
// with test doubles for what the agent would do on the two requests (the
// real export needs the database connector). A thread stands in for the
// scheduler: it counts three daily reports and a monthly one and asks for
// repaints, as report runs do.
//   window_host     runs until the window is closed; exit 0 when the
//                   requests arrived as window_sender sends them
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/control.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "platform/win32/window-win32.h"

using namespace kestrune;

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::atomic<int> exportRequests{0}, exportsCompleted{0}, counterRequests{0};
  std::atomic<int> daily{0}, monthly{0};
  std::atomic<bool> exporting{false};
  std::atomic<int> overlapping{0};
  std::atomic<bool> schedulerDone{false};

  ControlHandlers handlers;
  std::atomic<bool> trayWhileRunning{true};
  handlers.onExportRequest = [&] {
    ++exportRequests;
    if (!trayIconShown()) trayWhileRunning = false;
    if (exporting.exchange(true)) ++overlapping;
    // The export's stand-in takes a while and lets messages through meanwhile,
    // as a message box of the real export does while it waits for OK.
    for (DWORD start = GetTickCount(); GetTickCount() - start < 300;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      Sleep(10);
    }
    exporting = false;
    ++exportsCompleted;
    return std::string("ok: export finished\n");
  };
  handlers.onCounterRequest = [&] { ++counterRequests; };
  handlers.readStatus = [&] {
    StatusPanel panel;
    panel.companyName = utf8ToUtf16(
        "\xC3\x96rnek K\xC3\xB6"
        "fte Salonu Ltd. \xC5\x9E"
        "ti.");
    panel.branchName = utf8ToUtf16(
        "Kad\xC4\xB1k\xC3\xB6y \xC5\x9E"
        "ubesi");
    panel.branchNo = 12;
    panel.companyFolder = "ornekkofte";
    panel.dailyReportsSent = daily;
    panel.monthlyReportsSent = monthly;
    panel.exportRequests = exportRequests;
    panel.exportsCompleted = exportsCompleted;
    return panel;
  };

  std::string error;
  if (!openControl(handlers, &error)) {
    std::printf("window_host: %s\n", error.c_str());
    return 2;
  }
  // What other programs cannot ask across the process boundary under Wine.
  HWND hwnd = mainWindow();
  bool selfChecks = true;
  if (!GetClassLongPtrW(hwnd, GCLP_HICON) || !GetClassLongPtrW(hwnd, GCLP_HICONSM)) {
    std::printf("window_host: FAIL the window class lacks its large or small icon\n");
    selfChecks = false;
  }
  HDC dc = GetDC(hwnd);
  if (SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) != 1) {
    std::printf("window_host: FAIL WM_ERASEBKGND does not answer 1\n");
    selfChecks = false;
  }
  ReleaseDC(hwnd, dc);

  std::thread scheduler([&] {
    for (int i = 0; i < 3; ++i) {
      sleepMillis(200);
      ++daily;
      refreshStatus();
    }
    ++monthly;
    refreshStatus();
    // Once the window was restored and hidden again, a report's error box
    // that nobody answers, and a repeat of it: closing the window must not
    // leave the process waiting for them.
    bool shown = false;
    for (int i = 0; i < 6000 && !(shown && !IsWindowVisible(hwnd)) && IsWindow(hwnd); ++i) {
      if (IsWindowVisible(hwnd)) shown = true;
      sleepMillis(20);
    }
    showError("SCHEDULER_BOX", "a report's error that nobody answers");
    showError("SCHEDULER_BOX", "one more while it is up");  // counted, not shown
    schedulerDone = true;
  });

  int code = serveControl();
  for (int i = 0; i < 300 && !schedulerDone; ++i) sleepMillis(50);
  if (!schedulerDone) {
    std::printf(
        "window_host: FAIL the scheduler's error box still holds it after the loop ended\n");
    std::fflush(stdout);
    std::_Exit(1);
  }
  scheduler.join();

  std::printf(
      "window_host: loop ended with %d; export requests %d, exports completed %d, "
      "counter requests %d, overlapping exports %d\n",
      code, exportRequests.load(), exportsCompleted.load(), counterRequests.load(),
      overlapping.load());
  std::printf("window_host: tray icon %s while running, %s after WM_DESTROY\n",
              trayWhileRunning ? "shown" : "MISSING", trayIconShown() ? "STILL SHOWN" : "removed");
  bool ok = selfChecks && code == 0 && exportRequests == 5 && exportsCompleted == 5 &&
            counterRequests == 2 && overlapping == 0 && trayWhileRunning && !trayIconShown();
  std::printf("window_host: %s\n", ok ? "PASSED" : "FAILED");
  return ok ? 0 : 1;
}
