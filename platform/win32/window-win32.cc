// The hidden main window: tray icon, popup menu ("Reporting Now" and
// RESTORE), the two private messages from other programs, the status panel
// and the message loop.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <atomic>
#include <string>

#include "platform/win32/errors-win32.h"
#include "platform/win32/resources-win32.h"
#include "platform/win32/window-win32.h"
#include "platform/control.h"

namespace kestrune {

namespace {

// Process-wide state of the window (there is one main window).
HINSTANCE gInstance = nullptr;
std::atomic<HWND> gMainWindow{nullptr};
NOTIFYICONDATAW gNotifyIcon;
HMENU gPopupMenu = nullptr;
ControlHandlers gHandlers;
std::atomic<DWORD> gLoopThread{0};
std::atomic<bool> gTrayIconShown{false};
std::atomic<int> gRepaintRequests{0};
// Sent to every top-level window when the taskbar is (re)made: Explorer
// started again, or started late at log-on. Icons have to be added again.
UINT gTaskbarCreated = 0;
// Tries again to add a tray icon that the shell did not take.
constexpr UINT_PTR kTrayRetryTimer = 1;
constexpr UINT kTrayRetryMs = 5000;
// The loop was asked to end while it waited for work of another thread.
bool gEnding = false;

// Export requests are served on the loop's thread only. The loop goes on
// serving messages while an export runs (serveWhileWaiting); a request that arrives
// then waits for the running export to end instead of starting a second one
// inside it.
bool gExporting = false;
int gExportsWaiting = 0;

std::wstring loadString(UINT id, const wchar_t* fallback) {
  wchar_t text[100] = {};
  if (LoadStringW(GetModuleHandleW(nullptr), id, text, 100) > 0) return text;
  return fallback;
}

void showTrayMenu(HWND window) {
  POINT cursor;
  GetCursorPos(&cursor);
  if (gPopupMenu) DestroyMenu(gPopupMenu);
  gPopupMenu = buildTrayMenu();
  SetForegroundWindow(window);
  TrackPopupMenu(gPopupMenu, TPM_LEFTALIGN | TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, window,
                 nullptr);
  // lets the menu close when the user clicks elsewhere
  PostMessageW(window, WM_NULL, 0, 0);
}

// Adds the tray icon (or finds it there still); when the shell is not ready,
// a timer tries again until it is.
void addTrayIcon(HWND window) {
  bool shown =
      Shell_NotifyIconW(NIM_ADD, &gNotifyIcon) || Shell_NotifyIconW(NIM_MODIFY, &gNotifyIcon);
  gTrayIconShown = shown;
  if (shown)
    KillTimer(window, kTrayRetryTimer);
  else
    SetTimer(window, kTrayRetryTimer, kTrayRetryMs, nullptr);
}

void serveExportRequest(HWND window) {
  if (gEnding) return;
  if (gExporting) {
    ++gExportsWaiting;
    return;
  }
  gExporting = true;
  for (;;) {
    if (gHandlers.onExportRequest) gHandlers.onExportRequest();
    InvalidateRect(window, nullptr, TRUE);
    if (gExportsWaiting == 0 || gEnding) break;
    --gExportsWaiting;
  }
  gExporting = false;
}

// Sends the status text back to the window that asked (see sendToAgent):
// only to a window of the client's own class, and not waiting for a hung one.
void answerStatusQuery(HWND window, HWND asker) {
  wchar_t name[64] = {};
  if (!IsWindow(asker) || !GetClassNameW(asker, name, 64) ||
      lstrcmpW(name, kStatusAnswerClass) != 0)
    return;
  StatusPanel panel = gHandlers.readStatus ? gHandlers.readStatus() : StatusPanel();
  std::string text = statusPanelText(panel);
  COPYDATASTRUCT answer;
  answer.dwData = kStatusAnswerTag;
  answer.cbData = static_cast<DWORD>(text.size());
  answer.lpData = const_cast<char*>(text.data());
  DWORD_PTR ignored;
  SendMessageTimeoutW(asker, WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                      reinterpret_cast<LPARAM>(&answer), SMTO_ABORTIFHUNG, 2000, &ignored);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == gTaskbarCreated && gTaskbarCreated != 0) {
    addTrayIcon(window);
    return 0;
  }
  switch (message) {
    case kTrayMessage:
      if (LOWORD(lParam) == WM_RBUTTONDOWN) {
        showTrayMenu(window);
        return 1;
      }
      return 0;
    case WM_USER + 136:  // another program asks for the expense export
      serveExportRequest(window);
      return 0;
    case WM_USER + 144:
      if (gHandlers.onCounterRequest) gHandlers.onCounterRequest();
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDM_RESTORE) {
        ShowWindow(window, SW_RESTORE);
        ShowWindow(window, SW_SHOW);
        return 0;
      }
      if (LOWORD(wParam) == IDM_REPORTING_NOW) {
        // Only asks: the report runs on the scheduler's thread, and a click
        // while a run is in progress is dropped there.
        if (gHandlers.onReportRequest) gHandlers.onReportRequest(nullptr);
        return 0;
      }
      break;
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED) ShowWindow(window, SW_HIDE);
      return 0;
    case WM_SYSCOMMAND:
      // The title bar's close button, Alt+F4 and the system menu's Close are
      // a person putting the panel away: hidden, as minimising does. The
      // agent has no way to be ended from its own face; a WM_CLOSE that
      // another program sends (an installer) still ends it.
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        ShowWindow(window, SW_HIDE);
        return 0;
      }
      break;
    case WM_TIMER:
      if (wParam == kTrayRetryTimer) {
        addTrayIcon(window);
        return 0;
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      RECT client;
      GetClientRect(window, &client);
      paintStatusPanel(dc, client, gHandlers.readStatus ? gHandlers.readStatus() : StatusPanel());
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND: return 1;  // the paint fills the background
    case WM_KEYDOWN: return 0;
    case WM_COPYDATA: {
      auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      if (data && data->dwData == kStatusQueryTag) {
        answerStatusQuery(window, reinterpret_cast<HWND>(wParam));
        return TRUE;
      }
      break;
    }
    case WM_DESTROY:
      // The window is being destroyed already; what is left is the tray
      // icon and the loop.
      KillTimer(window, kTrayRetryTimer);
      if (Shell_NotifyIconW(NIM_DELETE, &gNotifyIcon)) gTrayIconShown = false;
      if (gPopupMenu) DestroyMenu(gPopupMenu);
      gPopupMenu = nullptr;
      gMainWindow = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool registerWindowClass(const std::wstring& className, std::string* error) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = windowProcedure;
  wc.hInstance = gInstance;
  wc.hIcon = LoadIconW(gInstance, MAKEINTRESOURCEW(IDI_KESTRUNE));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = className.c_str();
  wc.hIconSm = LoadIconW(gInstance, MAKEINTRESOURCEW(IDI_SMALL));
  if (RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return true;
  if (error)
    *error = "cannot register the window class (error " + std::to_string(GetLastError()) + ")";
  return false;
}

}  // namespace

bool trayIconShown() { return gTrayIconShown; }

HWND mainWindow() { return gMainWindow; }

std::wstring windowTitle() { return loadString(IDS_APP_TITLE, L"Kestrune"); }
std::wstring windowClassName() { return loadString(IDC_KESTRUNE, L"KESTRUNE"); }

HMENU buildTrayMenu() {
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING | MF_ENABLED, IDM_TITLE, L"Kestrune");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING | MF_ENABLED, IDM_REPORTING_NOW, L"Reporting Now");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, IDM_RESTORE, L"RESTORE");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, IDM_EXIT_DISABLED, L"Exit Disabled by Melrova");
  return menu;
}

bool openControl(const ControlHandlers& handlers, std::string* error) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);

  gInstance = GetModuleHandleW(nullptr);
  gHandlers = handlers;
  gEnding = false;
  std::wstring title = windowTitle();
  std::wstring className = windowClassName();
  if (!registerWindowClass(className, error)) return false;

  // Hidden until the tray menu's RESTORE shows it. The title is fixed, not
  // the string-table title.
  HWND window = CreateWindowExW(WS_EX_APPWINDOW, className.c_str(), L"Kestrune",
                                WS_POPUP | WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr,
                                gInstance, nullptr);
  if (!window) {
    if (error)
      *error = "cannot create the main window (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  gMainWindow = window;

  gNotifyIcon = NOTIFYICONDATAW();
  gNotifyIcon.cbSize = sizeof gNotifyIcon;
  gNotifyIcon.hWnd = window;
  gNotifyIcon.uID = IDI_KESTRUNE;
  gNotifyIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  gNotifyIcon.uCallbackMessage = kTrayMessage;
  gNotifyIcon.hIcon = LoadIconW(gInstance, MAKEINTRESOURCEW(IDI_KESTRUNE));
  lstrcpynW(gNotifyIcon.szTip, title.c_str(), ARRAYSIZE(gNotifyIcon.szTip));
  gTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  addTrayIcon(window);
  return true;
}

int serveControl() {
  gLoopThread = GetCurrentThreadId();
  HACCEL accelerators = LoadAcceleratorsW(gInstance, MAKEINTRESOURCEW(IDC_KESTRUNE));
  MSG msg = {};
  int result;
  // GetMessage gives -1 on an error (such as a bad handle); that ends the
  // loop instead of spinning on it.
  while ((result = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
    if (!accelerators || !TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  gLoopThread = 0;
  // A box of another thread (the scheduler's) would keep it, and so the
  // process, from ending with no one left to answer it.
  closeErrorBoxes(5000);
  return result == 0 ? static_cast<int>(msg.wParam) : 1;
}

bool serveWhileWaiting(const std::function<bool()>& done) {
  while (!done()) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // for serveControl, which ends on it
        PostQuitMessage(static_cast<int>(msg.wParam));
        gEnding = true;
        return false;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) break;
    MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
  return true;
}

void refreshStatus() {
  ++gRepaintRequests;
  if (HWND window = gMainWindow) InvalidateRect(window, nullptr, TRUE);
}

int statusRefreshCount() { return gRepaintRequests.load(); }

void requestEnd() {
  // Closing the window ends the loop through WM_DESTROY, tray icon removed.
  HWND window = gMainWindow;
  if (window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  } else if (DWORD thread = gLoopThread) {
    PostThreadMessageW(thread, WM_QUIT, 0, 0);
  }
}

}  // namespace kestrune
