// The window's pieces in this process: resources, the tray menu and the
// painted status panel. The whole window is window_host/_sender.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/control.h"
#include "platform/win32/resources-win32.h"
#include "platform/win32/window-win32.h"

namespace kestrune {
namespace {

StatusPanel samplePanel() {
  StatusPanel panel;
  panel.companyName = u"\u00D6rnek K\u00F6fte Salonu Ltd. \u015Eti.";
  panel.branchName = u"Kad\u0131k\u00F6y \u015Eubesi";
  panel.branchNo = 12;
  panel.companyFolder = "ornekkofte";
  panel.dailyReportsSent = 41;
  panel.monthlyReportsSent = 3;
  return panel;
}

TEST(WindowResources, StringsIconsAndAcceleratorTable) {
  EXPECT_EQ(L"Kestrune", windowTitle());
  EXPECT_EQ(L"KESTRUNE", windowClassName());
  HINSTANCE self = GetModuleHandleW(nullptr);
  HANDLE large = LoadImageW(self, MAKEINTRESOURCEW(IDI_KESTRUNE), IMAGE_ICON, 32, 32, 0);
  HANDLE small = LoadImageW(self, MAKEINTRESOURCEW(IDI_SMALL), IMAGE_ICON, 16, 16, 0);
  EXPECT_NE(nullptr, large);
  EXPECT_NE(nullptr, small);
  HACCEL table = LoadAcceleratorsW(self, MAKEINTRESOURCEW(IDC_KESTRUNE));
  ASSERT_NE(nullptr, table);
  EXPECT_EQ(2, CopyAcceleratorTableW(table, nullptr, 0));
}

TEST(TrayMenu, ItemsAndIdsInOrder) {
  HMENU menu = buildTrayMenu();
  ASSERT_NE(nullptr, menu);
  struct Item {
    UINT id;
    const wchar_t* text;  // null: separator
  } expected[] = {{104, L"Kestrune"}, {0, nullptr}, {32778, L"Reporting Now"},         {0, nullptr},
                  {111, L"RESTORE"},  {0, nullptr}, {105, L"Exit Disabled by Melrova"}};
  ASSERT_EQ(7, GetMenuItemCount(menu));
  for (int i = 0; i < 7; ++i) {
    UINT state = GetMenuState(menu, i, MF_BYPOSITION);
    if (!expected[i].text) {
      EXPECT_TRUE(state & MF_SEPARATOR) << "item " << i;
      continue;
    }
    EXPECT_EQ(expected[i].id, GetMenuItemID(menu, i)) << "item " << i;
    wchar_t text[64] = {};
    GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(expected[i].text, text);
    EXPECT_FALSE(state & (MF_GRAYED | MF_DISABLED)) << "item " << i;
  }
  DestroyMenu(menu);
}

// Paints the panel into a 600 x 400 off-screen picture and reads it back.
struct Picture {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 600, 400);
  HGDIOBJ old = SelectObject(dc, bitmap);

  ~Picture() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
  }
  // Pixels of `colour` (or, when `other`, of any colour but white) in a box.
  int count(int left, int top, int right, int bottom, COLORREF colour, bool other = false) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) {
        COLORREF c = GetPixel(dc, x, y);
        if (other ? c != RGB(255, 255, 255) : c == colour) ++n;
      }
    return n;
  }
};

TEST(StatusPanelPaint, CompanyBlockAndCounterLinesWhereTheyBelong) {
  Picture picture;
  RECT client = {0, 0, 600, 400};
  // Something other than white first, to see the background being painted.
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  FillRect(picture.dc, &client, black);
  paintStatusPanel(picture.dc, client, samplePanel());

  const COLORREF white = RGB(255, 255, 255), blue = RGB(30, 144, 255);
  EXPECT_EQ(white, GetPixel(picture.dc, 599, 399));
  EXPECT_EQ(0, picture.count(0, 130, 600, 175, 0, true)) << "between the blocks";
  EXPECT_EQ(0, picture.count(0, 240, 600, 400, 0, true)) << "below the counters";
  // Company block: four lines of dark text from y = 21, labels from x = 5,
  // values from x = 95 (185 on the last line), nothing in blue.
  EXPECT_GT(picture.count(5, 21, 70, 40, 0, true), 20) << "Firma";
  EXPECT_GT(picture.count(95, 21, 400, 40, 0, true), 50) << "company name";
  EXPECT_GT(picture.count(95, 47, 400, 66, 0, true), 30) << "branch name";
  EXPECT_GT(picture.count(95, 73, 140, 92, 0, true), 5) << "branch number";
  EXPECT_GT(picture.count(185, 99, 400, 118, 0, true), 30) << "company folder";
  EXPECT_EQ(0, picture.count(0, 0, 95, 21, 0, true)) << "above the block";
  EXPECT_EQ(0, picture.count(0, 0, 600, 130, blue));
  // Counter lines in dodger blue at y = 180 and 210.
  EXPECT_GT(picture.count(10, 180, 300, 200, blue), 30);
  EXPECT_GT(picture.count(10, 210, 300, 230, blue), 30);
}

}  // namespace
}  // namespace kestrune
