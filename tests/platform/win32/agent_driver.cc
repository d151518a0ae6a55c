// Drives a running Kestrune.exe from outside, as other programs and a person
// at the desktop would; one step per call, so that tools/test-windows can
// check files, database and screen in between.
//   agent_driver wait-window SECONDS   the agent's window exists
//   agent_driver tray                  its tray icon 107 exists
//   agent_driver export                WM_USER + 136; returns when the export is done
//   agent_driver count                 WM_USER + 144
//   agent_driver status                the status text (WM_COPYDATA query), UTF-8
//   agent_driver report-now            "Reporting Now" clicked twice in a row: one
//                                      daily report more at once, the second dropped
//   agent_driver restore               the tray menu's RESTORE; the window shows
//   agent_driver close                 WM_CLOSE; the window and its tray icon go
//   agent_driver boxes                 prints the caption and text of every
//                                      message box on the screen, sorted; presses
//                                      nothing
// Exit 0 when the step did what it should, 1 when not, 2 for bad arguments.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/window-win32.h"
#include "platform/control.h"
#include "tests/platform/win32/wait.h"

using namespace kestrune;

namespace {

HWND agentWindow() { return FindWindowW(windowClassName().c_str(), L"Kestrune"); }

// Changing the tip of an icon succeeds only for an icon that exists.
bool trayIconExists(HWND window) {
  NOTIFYICONDATAW icon = {};
  icon.cbSize = sizeof icon;
  icon.hWnd = window;
  icon.uID = 107;
  icon.uFlags = NIF_TIP;
  lstrcpyW(icon.szTip, L"Kestrune");
  return Shell_NotifyIconW(NIM_MODIFY, &icon) != FALSE;
}

std::string utf8(const wchar_t* text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], bytes, nullptr, nullptr);
  out.resize(static_cast<size_t>(bytes - 1));
  return out;
}

// Every message box on the screen (a visible dialog, #32770): "caption: C"
// and "text: T" lines, sorted by caption.
std::string boxes() {
  std::vector<std::string> found;
  HWND box = nullptr;
  while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr) {
    if (!IsWindowVisible(box)) continue;
    wchar_t caption[256] = {}, text[4096] = {};
    GetWindowTextW(box, caption, 256);
    GetDlgItemTextW(box, 0xFFFF, text, 4096);  // the message's static text
    std::string line = utf8(text);
    for (char& c : line)
      if (c == '\n' || c == '\r') c = ' ';
    found.push_back("caption: " + utf8(caption) + "\ntext: " + line + "\n");
  }
  std::sort(found.begin(), found.end());
  std::string all;
  for (const std::string& one : found) all += one;
  return all;
}

// "Success_Daily Report" of the status text; -1 without an answer.
int dailyReports() {
  std::string text;
  if (sendToAgent("status", &text) != 0) return -1;
  size_t at = text.find("Success_Daily Report: ");
  return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 22);
}

int seconds(const char* text) { return std::atoi(text) > 0 ? std::atoi(text) * 1000 : 60000; }

int fail(const char* what) {
  std::printf("agent_driver: FAIL %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::string step = argc > 1 ? argv[1] : "";

  if (step == "wait-window" && argc == 3) {
    if (!waitFor([] { return agentWindow() != nullptr; }, seconds(argv[2])))
      return fail("no window of class KESTRUNE titled Kestrune");
    if (IsWindowVisible(agentWindow())) return fail("the window is visible after the start");
    std::printf("agent_driver: window found, hidden\n");
    return 0;
  }
  if (step == "boxes" && argc == 2) {
    std::fputs(boxes().c_str(), stdout);
    return 0;
  }

  HWND agent = agentWindow();
  if (!agent && step != "") return fail("the agent's window is not there");
  if (step == "tray" && argc == 2) {
    if (!trayIconExists(agent)) return fail("no tray icon 107");
    std::printf("agent_driver: tray icon 107 shown\n");
    return 0;
  }
  if ((step == "export" || step == "count") && argc == 2) {
    // Sent, not posted: the answer comes when the agent has handled it. An
    // export reads the database and uploads files; five minutes are plenty here.
    UINT message = step == "export" ? WM_USER + 136 : WM_USER + 144;
    DWORD_PTR result = 1;
    if (!SendMessageTimeoutW(agent, message, 0, 0, SMTO_NORMAL, 300000, &result))
      return fail("no answer within five minutes");
    std::printf("agent_driver: message 0x%X answered %d\n", message, static_cast<int>(result));
    return result == 0 ? 0 : 1;
  }
  if (step == "status" && argc == 2) {
    std::string answer;
    int code = sendToAgent("status", &answer);
    std::fputs(answer.c_str(), stdout);
    return code == 0 ? 0 : 1;
  }
  if (step == "report-now" && argc == 2) {
    int before = dailyReports();
    PostMessageW(agent, WM_COMMAND, 32778, 0);
    PostMessageW(agent, WM_COMMAND, 32778, 0);
    if (!waitFor([&] { return dailyReports() > before; }, 30000))
      return fail("no daily report within 30 s of Reporting Now");
    Sleep(3000);  // a second run would be over by now
    int after = dailyReports();
    std::printf("agent_driver: Success_Daily Report %d, then %d\n", before, after);
    return after == before + 1 ? 0 : fail("the second click was not dropped");
  }
  if (step == "restore" && argc == 2) {
    PostMessageW(agent, WM_COMMAND, 111, 0);
    if (!waitFor([&] { return IsWindowVisible(agent) != FALSE; }, 10000))
      return fail("RESTORE did not show the window");
    Sleep(1000);  // let it paint
    std::printf("agent_driver: window shown\n");
    return 0;
  }
  if (step == "close" && argc == 2) {
    if (!trayIconExists(agent)) return fail("no tray icon before closing");
    PostMessageW(agent, WM_CLOSE, 0, 0);
    if (!waitFor([&] { return !IsWindow(agent); }, 30000)) return fail("the window stayed");
    if (trayIconExists(agent)) return fail("the tray icon stayed after WM_DESTROY");
    std::printf("agent_driver: window destroyed, tray icon removed\n");
    return 0;
  }
  std::printf(
      "usage: agent_driver wait-window S | tray | export | count | status | report-now | restore "
      "|\n"
      "                    close | boxes\n");
  return 2;
}
