/* Resource and command ids of the agent's window (kestrune.rc and the C++ side). */
#pragma once

#define IDS_APP_TITLE 103 /* title and tray tip: "Kestrune" */
#define IDC_KESTRUNE 109  /* window class name "KESTRUNE"; accelerator table */
#define IDI_KESTRUNE 107  /* large and tray icon; also the tray icon's id */
#define IDI_SMALL 108     /* small icon */

#define IDM_TITLE 104           /* tray menu: "Kestrune" */
#define IDM_EXIT_DISABLED 105   /* tray menu: "Exit Disabled by Melrova" */
#define IDM_RESTORE 111         /* tray menu: "RESTORE" */
#define IDM_REPORTING_NOW 32778 /* tray menu: "Reporting Now" */
