#include "platform/win32/errors-win32.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/text.h"

namespace kestrune {

namespace {

std::mutex gBoxMutex;
std::vector<DWORD> gBoxThreads;  // one entry per box being shown
bool gBoxesClosed = false;

BOOL CALLBACK pressOk(HWND window, LPARAM) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (lstrcmpW(name, L"#32770") == 0) PostMessageW(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

}  // namespace

// A message box with no owner window, OK button and top-most, as every
// database error of the agent is shown. It blocks until someone presses OK.
// The texts arrive as UTF-8 (the database's messages); the box shows them in
// the system's code page.
void systemShowError(const std::string& caption, const std::string& text) {
  DWORD thread = GetCurrentThreadId();
  {
    std::lock_guard<std::mutex> lock(gBoxMutex);
    if (gBoxesClosed) return;
    gBoxThreads.push_back(thread);
  }
  std::string ansiText = utf16ToAnsi(utf8ToUtf16(text));
  std::string ansiCaption = utf16ToAnsi(utf8ToUtf16(caption));
  MessageBoxA(nullptr, ansiText.c_str(), ansiCaption.c_str(), MB_OK | MB_TOPMOST);
  std::lock_guard<std::mutex> lock(gBoxMutex);
  gBoxThreads.erase(std::find(gBoxThreads.begin(), gBoxThreads.end(), thread));
}

void closeErrorBoxes(int waitMs) {
  for (DWORD start = GetTickCount();;) {
    {
      std::lock_guard<std::mutex> lock(gBoxMutex);
      gBoxesClosed = true;
      if (gBoxThreads.empty()) return;
      // A box whose window is not made yet is pressed on the next round.
      for (DWORD thread : gBoxThreads) EnumThreadWindows(thread, pressOk, 0);
    }
    if (GetTickCount() - start >= static_cast<DWORD>(waitMs)) return;
    Sleep(50);
  }
}

}  // namespace kestrune
