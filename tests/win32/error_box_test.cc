// The system's error sink is a real message box: no owner, OK only.
// A CBT hook on this thread reads the box and presses OK, since nobody would
// under Wine. (Wine 8 ignores MB_TOPMOST in message boxes, so whether the box
// is top-most can only be seen on Windows.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/errors.h"

namespace kestrune {
namespace {

struct SeenBox {
  int count = 0;
  std::string caption, text;
  HWND owner = nullptr;
  int buttons = 0;
};
SeenBox gSeen;
HHOOK gHook;

BOOL CALLBACK countButton(HWND child, LPARAM) {
  wchar_t cls[32];
  GetClassNameW(child, cls, 32);
  if (lstrcmpiW(cls, L"Button") == 0) ++gSeen.buttons;
  return TRUE;
}

LRESULT CALLBACK onCbt(int code, WPARAM wParam, LPARAM lParam) {
  wchar_t cls[32] = {};
  if (code == HCBT_ACTIVATE) GetClassNameW(reinterpret_cast<HWND>(wParam), cls, 32);
  if (code == HCBT_ACTIVATE && lstrcmpW(cls, L"#32770") == 0) {  // a dialog: the box
    HWND box = reinterpret_cast<HWND>(wParam);
    char text[256] = {};
    ++gSeen.count;
    GetWindowTextA(box, text, sizeof text);
    gSeen.caption = text;
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the message's static text
    gSeen.text = text;
    gSeen.owner = GetWindow(box, GW_OWNER);
    EnumChildWindows(box, countButton, 0);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(gHook, code, wParam, lParam);
}

TEST(ErrorBox, DefaultSinkShowsABoxWithoutOwner) {
  gSeen = SeenBox();
  gHook = SetWindowsHookExW(WH_CBT, onCbt, nullptr, GetCurrentThreadId());
  ASSERT_NE(nullptr, gHook);
  setErrorSink(nullptr);
  // The database's messages arrive as UTF-8; the box shows them in code page 1254.
  showError("READ_SATIS_OZET", "Ba\xC4\x9Flant\xC4\xB1 koptu (2013)");
  UnhookWindowsHookEx(gHook);

  EXPECT_EQ(1, gSeen.count);
  EXPECT_EQ("READ_SATIS_OZET", gSeen.caption);
  EXPECT_EQ("Ba\xF0lant\xFD koptu (2013)", gSeen.text);
  EXPECT_EQ(nullptr, gSeen.owner);
  EXPECT_EQ(1, gSeen.buttons);  // OK only
}

TEST(ErrorBox, ReplacedSinkGetsTheErrorAndNoBoxAppears) {
  gSeen = SeenBox();
  gHook = SetWindowsHookExW(WH_CBT, onCbt, nullptr, GetCurrentThreadId());
  std::string caption, text;
  ErrorSink previous = setErrorSink([&](const std::string& c, const std::string& t) {
    caption = c;
    text = t;
  });
  showError("READ_URUN_SATISLARI_UNION", "Table 'stocks.x' doesn't exist");
  setErrorSink(previous);
  UnhookWindowsHookEx(gHook);
  EXPECT_EQ(0, gSeen.count);
  EXPECT_EQ("READ_URUN_SATISLARI_UNION", caption);
  EXPECT_EQ("Table 'stocks.x' doesn't exist", text);
}

}  // namespace
}  // namespace kestrune
