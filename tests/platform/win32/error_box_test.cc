// The system's error sink is a real message box: no owner, OK only, on a
// thread of its own, one per caption at a time. The test finds the boxes as
// windows and presses OK itself, since nobody would under Wine. (Wine 8
// ignores MB_TOPMOST in message boxes, so whether the box is top-most can
// only be seen on Windows.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/win32/errors-win32.h"
#include "tests/platform/win32/wait.h"

namespace kestrune {
namespace {

std::vector<HWND> boxesTitled(const char* caption) {
  std::vector<HWND> found;
  HWND box = nullptr;
  while ((box = FindWindowExA(nullptr, box, "#32770", caption)) != nullptr)
    if (IsWindowVisible(box)) found.push_back(box);
  return found;
}

BOOL CALLBACK countButton(HWND child, LPARAM count) {
  wchar_t cls[32];
  GetClassNameW(child, cls, 32);
  if (lstrcmpiW(cls, L"Button") == 0) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

void pressOk(HWND box) {
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  waitFor([&] { return !IsWindow(box); }, 10000);
}

TEST(ErrorBox, DefaultSinkShowsOneBoxPerCaptionWithoutBlocking) {
  setErrorSink(nullptr);
  // The database's messages arrive as UTF-8; the box shows them in code page 1254.
  DWORD before = GetTickCount();
  showError("READ_SATIS_OZET", "Ba\xC4\x9Flant\xC4\xB1 koptu (2013)");
  EXPECT_LT(GetTickCount() - before, 1000u) << "showError waited for the box";
  ASSERT_TRUE(waitFor([] { return boxesTitled("READ_SATIS_OZET").size() == 1; }, 10000));
  HWND box = boxesTitled("READ_SATIS_OZET")[0];
  char text[256] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the message's static text
  EXPECT_STREQ("Ba\xF0lant\xFD koptu (2013)", text);
  EXPECT_EQ(nullptr, GetWindow(box, GW_OWNER));
  int buttons = 0;
  EnumChildWindows(box, countButton, reinterpret_cast<LPARAM>(&buttons));
  EXPECT_EQ(1, buttons);  // OK only
  EXPECT_NE(GetCurrentThreadId(), GetWindowThreadProcessId(box, nullptr));

  // Repeats while it is up are counted, not stacked; another caption gets a box of its own.
  for (int i = 0; i < 5; ++i) showError("READ_SATIS_OZET", "again");
  showError("READ_COMPANY", "Can't connect");
  ASSERT_TRUE(waitFor([] { return boxesTitled("READ_COMPANY").size() == 1; }, 10000));
  Sleep(500);
  EXPECT_EQ(1u, boxesTitled("READ_SATIS_OZET").size());
  EXPECT_EQ(5, errorBoxRepeats("READ_SATIS_OZET"));

  // Once closed, the next error of that caption opens a new box.
  pressOk(box);
  EXPECT_TRUE(boxesTitled("READ_SATIS_OZET").empty());
  showError("READ_SATIS_OZET", "once more");
  EXPECT_TRUE(waitFor([] { return boxesTitled("READ_SATIS_OZET").size() == 1; }, 10000));
  for (const char* caption : {"READ_SATIS_OZET", "READ_COMPANY"})
    for (HWND open : boxesTitled(caption)) pressOk(open);
}

TEST(ErrorBox, ReplacedSinkGetsTheErrorAndNoBoxAppears) {
  std::string caption, text;
  ErrorSink previous = setErrorSink([&](const std::string& c, const std::string& t) {
    caption = c;
    text = t;
  });
  showError("READ_URUN_SATISLARI_UNION", "Table 'stocks.x' doesn't exist");
  setErrorSink(previous);
  Sleep(300);
  EXPECT_TRUE(boxesTitled("READ_URUN_SATISLARI_UNION").empty());
  EXPECT_EQ("READ_URUN_SATISLARI_UNION", caption);
  EXPECT_EQ("Table 'stocks.x' doesn't exist", text);
}

}  // namespace
}  // namespace kestrune
