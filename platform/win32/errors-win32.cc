#include <windows.h>

#include <string>

#include "platform/text.h"

namespace kestrune {

// A message box with no owner window, OK button and top-most, as every
// database error of the agent is shown. It blocks until someone presses OK.
// The texts arrive as UTF-8 (the database's messages); the box shows them in
// the system's code page.
void systemShowError(const std::string& caption, const std::string& text) {
  std::string ansiText = utf16ToAnsi(utf8ToUtf16(text));
  std::string ansiCaption = utf16ToAnsi(utf8ToUtf16(caption));
  MessageBoxA(nullptr, ansiText.c_str(), ansiCaption.c_str(), MB_OK | MB_TOPMOST);
}

}  // namespace kestrune
