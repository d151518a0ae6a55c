// Pieces of the main window that its tests look at one by one.
#pragma once

#include <windows.h>

#include <string>

#include "platform/control.h"

namespace kestrune {

// The tray icon's notification (WM_USER + 1).
constexpr UINT kTrayMessage = WM_USER + 1;

// Private query of the status text (WM_COPYDATA with this tag; the answer
// comes back the same way, tagged kStatusAnswerTag, to the window in wParam).
// The class of the window that receives the status text: the agent answers
// no window of another class.
constexpr wchar_t kStatusAnswerClass[] = L"KestruneStatusAnswer";
constexpr ULONG_PTR kStatusQueryTag = 0x4B535451;   // "KSTQ"
constexpr ULONG_PTR kStatusAnswerTag = 0x4B535441;  // "KSTA"

// True from the moment the tray icon was added until WM_DESTROY removed it
// again (both as the system confirmed).
bool trayIconShown();

// The main window made by openControl; null before and after it.
HWND mainWindow();

// The tray icon's popup menu, built anew for every right click.
HMENU buildTrayMenu();

// Title (string 103) and window class name (string 109) of this program,
// with the usual texts where the program carries no such strings.
std::wstring windowTitle();
std::wstring windowClassName();

// Paints the status panel into `dc` (double-buffered: drawn off-screen, then
// copied at the client rectangle's origin).
void paintStatusPanel(HDC dc, const RECT& client, const StatusPanel& panel);

}  // namespace kestrune
