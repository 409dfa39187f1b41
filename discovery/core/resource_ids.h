#pragma once
// Identifiers of the program's resources, controls and commands. Macros, so that the
// resource compiler reads them too (corvane_program.rc includes this file): they are
// defined here once for the code and the resources alike.

#define IDD_DEVICE_LIST 102
#define IDS_SOCKETS_INIT_FAILED 103
#define IDR_MAINFRAME 128   // the program icon
#define IDR_MAIN_MENU 129   // named by the main window's template
#define IDD_SET_ADDRESS 132

#define IDC_DEVICE_LIST 1000
#define IDC_ADDRESS 1001
#define IDC_MASK 1002
#define IDC_DEVICE_COUNT 1003

#ifndef IDOK   // windows.h has both, of the same values
#define IDOK 1
#define IDCANCEL 2
#endif
#define ID_VIEW_REFRESH 32774
#define ID_VIEW_EXIT 32775
#define ID_CONFIG_IP_ADDRESS 32780
#define ID_CONFIG_DEVICE_SETTINGS 32781

#ifndef RC_INVOKED
constexpr int SCAN_WINDOW_TIMER = 1;
constexpr int TICKER_TIMER = 2;
constexpr int TIMER_INTERVAL_MS = 500;
#endif
