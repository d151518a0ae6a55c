#include "platform/win32/errors-win32.h"

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "platform/text.h"

namespace kestrune {

namespace {

struct OpenBox {
  DWORD thread = 0;  // the box's own thread, once it runs
  int repeats = 0;   // errors of this caption that came while the box was up
};

struct ErrorBoxes {
  std::mutex mutex;
  std::map<std::string, OpenBox> open;  // by caption
  std::map<std::string, int> repeats;   // of the last box of each caption
  bool closed = false;
};

// Never destroyed: a box's thread may still be ending while the process ends.
ErrorBoxes& boxes() {
  static ErrorBoxes* state = new ErrorBoxes;
  return *state;
}

BOOL CALLBACK pressOk(HWND window, LPARAM) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (lstrcmpW(name, L"#32770") == 0) PostMessageW(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

// The body of a box's thread: shows it and waits for OK there.
void showBox(const std::string& caption, const std::string& ansiCaption,
             const std::string& ansiText) {
  ErrorBoxes& state = boxes();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.closed) {
      state.open.erase(caption);
      return;
    }
    state.open[caption].thread = GetCurrentThreadId();
  }
  MessageBoxA(nullptr, ansiText.c_str(), ansiCaption.c_str(), MB_OK | MB_TOPMOST);
  std::lock_guard<std::mutex> lock(state.mutex);
  state.repeats[caption] = state.open[caption].repeats;
  state.open.erase(caption);
}

}  // namespace

// A message box with no owner window, OK button and top-most, as every
// database error of the agent is shown. The box has a thread of its own, so
// that no run and no window message waits for someone to press OK; while a
// box of the same caption is up, the error is counted instead of stacking
// another box over it (a night without the database would otherwise leave
// hundreds). The texts arrive as UTF-8 (the database's messages); the box
// shows them in the system's code page.
void systemShowError(const std::string& caption, const std::string& text) {
  ErrorBoxes& state = boxes();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.closed) return;
    auto placed = state.open.emplace(caption, OpenBox());
    if (!placed.second) {
      placed.first->second.repeats += 1;
      return;
    }
  }
  std::string ansiText = utf16ToAnsi(utf8ToUtf16(text));
  std::string ansiCaption = utf16ToAnsi(utf8ToUtf16(caption));
  try {
    std::thread(showBox, caption, ansiCaption, ansiText).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the error goes unseen rather than holding the caller.
    std::lock_guard<std::mutex> lock(state.mutex);
    state.open.erase(caption);
  }
}

int errorBoxRepeats(const std::string& caption) {
  ErrorBoxes& state = boxes();
  std::lock_guard<std::mutex> lock(state.mutex);
  auto open = state.open.find(caption);
  if (open != state.open.end()) return open->second.repeats;
  auto last = state.repeats.find(caption);
  return last == state.repeats.end() ? 0 : last->second;
}

void closeErrorBoxes(int waitMs) {
  ErrorBoxes& state = boxes();
  for (DWORD start = GetTickCount();;) {
    {
      std::lock_guard<std::mutex> lock(state.mutex);
      state.closed = true;
      if (state.open.empty()) return;
      // A box whose window is not made yet is pressed on the next round.
      for (const auto& box : state.open)
        if (box.second.thread) EnumThreadWindows(box.second.thread, pressOk, 0);
    }
    if (GetTickCount() - start >= static_cast<DWORD>(waitMs)) return;
    Sleep(50);
  }
}

}  // namespace kestrune
