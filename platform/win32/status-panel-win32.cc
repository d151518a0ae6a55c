// The status panel: the company block and the two counter lines, painted
// off-screen and copied to the window.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/control.h"
#include "platform/text.h"
#include "platform/win32/wide-win32.h"
#include "platform/win32/window-win32.h"

namespace kestrune {

namespace {

// The panel's palette.
constexpr COLORREF kWhite = RGB(255, 255, 255);      // background
constexpr COLORREF kDodgerBlue = RGB(30, 144, 255);  // counter lines

constexpr BYTE kTurkishCharset = 162;

struct FontSpec {
  const wchar_t* face;
  int height;
  int weight;
  int width;
  int escapement;
  DWORD quality;
};

// Entry 0 is the stock GUI font; the others are made for each paint.
constexpr int kFontCount = 16;
const FontSpec kFonts[kFontCount] = {
    {nullptr, 0, 0, 0, 0, 0},
    {L"Arial", 12, 600, 0, 0, PROOF_QUALITY},
    {L"Arial", 12, 600, 0, 360, PROOF_QUALITY},
    {L"Arial", 14, 600, 0, 0, PROOF_QUALITY},  // counter lines
    {L"Arial", 16, 600, 0, 0, PROOF_QUALITY},  // company block
    {L"Arial", 18, 600, 0, 0, PROOF_QUALITY},
    {L"Arial", 20, 600, 0, 0, PROOF_QUALITY},
    {L"Arial", 30, 900, 18, 0, PROOF_QUALITY},
    {L"Calibri", 13, 600, 0, 0, PROOF_QUALITY},
    {L"Calibri", 14, 500, 0, 0, PROOF_QUALITY},
    {L"Courier", 16, 900, 0, 0, ANTIALIASED_QUALITY},
    {L"Courier", 20, 900, 0, 0, ANTIALIASED_QUALITY},
    {L"Comic Sans MS", 22, 900, 0, 0, ANTIALIASED_QUALITY},
    {L"Times New Roman", 16, 600, 0, 0, PROOF_QUALITY},
    {L"MS Sans Serif", 14, 600, 0, 0, PROOF_QUALITY},
    {L"MS Sans Serif", 16, 600, 0, 0, PROOF_QUALITY},
};
constexpr int kCounterFont = 3;
constexpr int kCompanyFont = 4;

struct FontTable {
  HFONT fonts[kFontCount] = {};

  FontTable() {
    fonts[0] = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (int i = 1; i < kFontCount; ++i) {
      const FontSpec& f = kFonts[i];
      fonts[i] = CreateFontW(f.height, f.width, f.escapement, 0, f.weight, FALSE, FALSE, FALSE,
                             kTurkishCharset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, f.quality,
                             DEFAULT_PITCH | FF_DONTCARE, f.face);
    }
  }
  ~FontTable() {
    for (int i = 1; i < kFontCount; ++i)
      if (fonts[i]) DeleteObject(fonts[i]);
  }
  FontTable(const FontTable&) = delete;
  FontTable& operator=(const FontTable&) = delete;
};

void textOut(HDC dc, int x, int y, const std::wstring& text) {
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

// One line of the company block: label, colon and value at their columns.
void companyLine(HDC dc, int y, const wchar_t* label, int colonX, int valueX,
                 const std::wstring& value) {
  textOut(dc, 5, y, label);
  textOut(dc, colonX, y, L":");
  textOut(dc, valueX, y, value);
}

std::wstring formatWide(const wchar_t* format, int value) {
  wchar_t text[64];
  std::swprintf(text, 64, format, value);
  return text;
}

}  // namespace

void paintStatusPanel(HDC dc, const RECT& client, const StatusPanel& panel) {
  int width = client.right - client.left, height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return;  // minimised: nothing to show

  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
  if (!memory || !bitmap) {
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    return;
  }
  HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
  RECT area = {0, 0, width, height};
  HBRUSH background = CreateSolidBrush(kWhite);
  FillRect(memory, &area, background);
  DeleteObject(background);
  SetBkMode(memory, TRANSPARENT);

  FontTable table;
  HGDIOBJ oldFont = SelectObject(memory, table.fonts[kCompanyFont]);
  companyLine(memory, 21, L"Firma", 75, 95, toWide(panel.companyName.substr(0, 128)));
  companyLine(memory, 47, L"\u015Eube", 75, 95, toWide(panel.branchName));
  companyLine(memory, 73, L"\u015EubeNo", 75, 95, formatWide(L"%d", panel.branchNo));
  textOut(memory, 5, 99, L"company_folder");
  textOut(memory, 145, 99, L":");
  TextOutA(memory, 185, 99, panel.companyFolder.c_str(),
           static_cast<int>(panel.companyFolder.size()));

  SelectObject(memory, table.fonts[kCounterFont]);
  SetTextColor(memory, kDodgerBlue);
  textOut(memory, 10, 180, formatWide(L"Success_Daily Report: %d", panel.dailyReportsSent));
  textOut(memory, 10, 210, formatWide(L"Success_Monthly Report: %d", panel.monthlyReportsSent));
  // The health lines, closer together: eight fit above the bottom edge.
  int y = 240;
  for (const std::string& line : panel.healthLines) {
    textOut(memory, 10, y, toWide(utf8ToUtf16(line)));
    y += 15;
  }

  BitBlt(dc, client.left, client.top, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, oldFont);
  SelectObject(memory, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(memory);
}

}  // namespace kestrune
