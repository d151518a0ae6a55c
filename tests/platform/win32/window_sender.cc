// The window test's other program: finds the agent's window as other
// programs do and checks it from outside, step by step.
//   window_sender SYNC-FOLDER
// After restoring the window it creates SYNC-FOLDER\restored and waits for
// SYNC-FOLDER\screenshot-taken (tools/test-windows takes the screenshot).
// Exit 0 when every check passed; each check prints one line.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "platform/control.h"
#include "tests/platform/win32/wait.h"

using namespace kestrune;

namespace {

int failures = 0;
int copiesReceived = 0;

LRESULT CALLBACK otherProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) ++copiesReceived;
  return DefWindowProcW(window, message, wParam, lParam);
}

// A program that names a window of its own class as the receiver of the
// status text gets nothing: the agent answers only its client's class.
bool statusGoesToOtherWindows(HWND agent) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = otherProcedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"SomeOtherProgram";
  RegisterClassExW(&wc);
  HWND other = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               wc.hInstance, nullptr);
  COPYDATASTRUCT query = {0x4B535451, 0, nullptr};  // the status query's tag
  DWORD_PTR result = 0;
  SendMessageTimeoutW(agent, WM_COPYDATA, reinterpret_cast<WPARAM>(other),
                      reinterpret_cast<LPARAM>(&query), SMTO_NORMAL, 5000, &result);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  DestroyWindow(other);
  return copiesReceived > 0;
}

void check(bool ok, const char* what) {
  std::printf("window_sender: %s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++failures;
}

// Is there a tray icon of `window` with this id? Changing its tip to the
// same text succeeds only for an icon that exists.
bool trayIconExists(HWND window, UINT id) {
  NOTIFYICONDATAW icon = {};
  icon.cbSize = sizeof icon;
  icon.hWnd = window;
  icon.uID = id;
  icon.uFlags = NIF_TIP;
  lstrcpyW(icon.szTip, L"Kestrune");
  return Shell_NotifyIconW(NIM_MODIFY, &icon) != FALSE;
}

HWND visiblePopupMenu() {
  HWND menu = FindWindowW(L"#32768", nullptr);
  return menu && IsWindowVisible(menu) ? menu : nullptr;
}

LRESULT sendAndWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0xDEAD;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 30000, &result))
    return 0xDEAD;
  return static_cast<LRESULT>(result);
}

bool fileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc != 2) {
    std::printf("usage: window_sender SYNC-FOLDER\n");
    return 2;
  }
  std::string sync = argv[1];

  HWND agent = nullptr;
  waitFor([&] { return (agent = FindWindowW(L"KESTRUNE", L"Kestrune")) != nullptr; }, 60000);
  check(agent != nullptr, "window of class KESTRUNE titled Kestrune found");
  if (!agent) return 1;

  check(!IsWindowVisible(agent), "main window hidden after start");
  RECT rect;
  GetWindowRect(agent, &rect);
  check(rect.left == 0 && rect.top == 0 && rect.right == 600 && rect.bottom == 400,
        "window at (0, 0), 600 x 400");
  LONG style = GetWindowLongW(agent, GWL_STYLE);
  LONG wanted =
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  check((style & wanted) == wanted, "pop-up, caption, system menu, sizing frame, min/max boxes");
  check((GetWindowLongW(agent, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0, "application window");
  check(GetClassLongW(agent, GCL_STYLE) == (CS_HREDRAW | CS_VREDRAW), "class redraws on resize");

  check(trayIconExists(agent, 107), "tray icon 107 added");
  check(!trayIconExists(agent, 108), "no tray icon 108 (the probe tells them apart)");

  // Tray clicks: only the right button opens the menu.
  check(sendAndWait(agent, WM_USER + 1, 107, WM_LBUTTONDOWN) == 0, "left click answers 0");
  check(sendAndWait(agent, WM_USER + 1, 107, WM_LBUTTONDBLCLK) == 0, "double click answers 0");
  check(!waitFor(visiblePopupMenu, 500), "no menu after left clicks");
  PostMessageW(agent, WM_USER + 1, 107, WM_RBUTTONDOWN);
  HWND menu = nullptr;
  waitFor([&] { return (menu = visiblePopupMenu()) != nullptr; }, 10000);
  check(menu != nullptr, "right click opens the popup menu");
  if (menu) {
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    check(waitFor([] { return visiblePopupMenu() == nullptr; }, 10000), "menu closes on Escape");
  }

  check(sendAndWait(agent, WM_KEYDOWN, 'A', 0) == 0, "WM_KEYDOWN answers 0");
  sendAndWait(agent, WM_COMMAND, 104, 0);
  sendAndWait(agent, WM_COMMAND, 105, 0);
  check(IsWindow(agent) && !IsWindowVisible(agent), "menu commands other than RESTORE do nothing");

  // The two private messages, as the other programs send them.
  check(SendMessageW(agent, WM_USER + 136, 0, 0) == 0, "first export request (0x488) answered");
  check(SendMessageW(agent, WM_USER + 136, 0, 0) == 0, "second export request answered");
  // Three more close together: the first one's export lets messages through
  // (as its message boxes do); the others wait for it instead of running
  // inside it.
  PostMessageW(agent, WM_USER + 136, 0, 0);
  PostMessageW(agent, WM_USER + 136, 0, 0);
  check(SendMessageW(agent, WM_USER + 136, 0, 0) == 0, "export request during an export answered");
  std::string exports;
  check(waitFor(
            [&] {
              return sendToAgent("status", &exports) == 0 &&
                     exports.find("Export requests: 5, completed: 5\n") != std::string::npos;
            },
            10000),
        "five export requests, five exports, one after the other");
  check(SendMessageW(agent, WM_USER + 144, 0, 0) == 0, "counter request (0x490) answered");
  std::string answer;
  check(sendToAgent("0x490", &answer) == 0 && answer == "ok: counted\n", "sendToAgent 0x490");
  check(sendToAgent("0x123", &answer) == 1, "sendToAgent refuses unknown requests");
  check(!statusGoesToOtherWindows(agent), "the status text goes to no window of another class");

  std::string status;
  bool counted = waitFor(
      [&] {
        return sendToAgent("status", &status) == 0 &&
               status.find("Success_Daily Report: 3\n") != std::string::npos &&
               status.find("Success_Monthly Report: 1\n") != std::string::npos;
      },
      10000);
  std::printf("%s", status.c_str());
  check(counted, "status text shows the counters (3 daily, 1 monthly)");
  check(status.find("Firma: \xC3\x96rnek K\xC3\xB6"
                    "fte Salonu Ltd. \xC5\x9E"
                    "ti.\n") == 0,
        "status text starts with the company");

  PostMessageW(agent, WM_COMMAND, 111, 0);
  check(waitFor([&] { return IsWindowVisible(agent) != FALSE; }, 10000),
        "RESTORE shows the window");
  Sleep(1000);  // let it paint
  HANDLE flag = CreateFileA((sync + "\\restored").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            0, nullptr);
  CloseHandle(flag);
  check(waitFor([&] { return fileExists(sync + "\\screenshot-taken"); }, 120000),
        "screenshot taken");

  // A person's close (the title bar's button, then Alt+F4) puts the panel
  // away like minimising does; the agent stays.
  auto restored = [&] {
    PostMessageW(agent, WM_COMMAND, 111, 0);
    return waitFor([&] { return IsWindowVisible(agent) != FALSE; }, 10000);
  };
  PostMessageW(agent, WM_SYSCOMMAND, SC_CLOSE, 0);
  check(waitFor([&] { return !IsWindowVisible(agent); }, 10000) && IsWindow(agent),
        "the close button hides the window, which stays");
  check(restored(), "RESTORE shows it again");
  PostMessageW(agent, WM_SYSKEYDOWN, VK_F4, 1 << 29);  // with Alt held
  check(waitFor([&] { return !IsWindowVisible(agent); }, 10000) && IsWindow(agent),
        "Alt+F4 hides the window, which stays");
  check(restored(), "RESTORE shows it again");
  PostMessageW(agent, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  check(waitFor([&] { return !IsWindowVisible(agent); }, 10000), "minimising hides the window");

  // Explorer started again: the tray has lost the icon and says so to every window.
  NOTIFYICONDATAW lost = {};
  lost.cbSize = sizeof lost;
  lost.hWnd = agent;
  lost.uID = 107;
  Shell_NotifyIconW(NIM_DELETE, &lost);
  check(!trayIconExists(agent, 107), "tray icon gone with the old taskbar");
  PostMessageW(agent, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  check(waitFor([&] { return trayIconExists(agent, 107); }, 10000),
        "the tray icon comes back on TaskbarCreated");

  HWND box = nullptr;
  waitFor([&] { return (box = FindWindowW(L"#32770", L"SCHEDULER_BOX")) != nullptr; }, 10000);
  check(box != nullptr, "the scheduler's error box is up");

  PostMessageW(agent, WM_CLOSE, 0, 0);
  check(waitFor([&] { return !IsWindow(agent); }, 10000), "window destroyed");
  check(waitFor([&] { return !FindWindowW(L"#32770", L"SCHEDULER_BOX"); }, 10000),
        "the error box goes with the window");
  check(!trayIconExists(agent, 107), "tray icon removed on WM_DESTROY");

  std::printf("window_sender: %s\n", failures ? "FAILED" : "PASSED");
  return failures ? 1 : 0;
}
