#pragma once
// Identifiers of the program's resources, controls and commands.

constexpr int IDD_DEVICE_LIST = 102;
constexpr int IDS_SOCKETS_INIT_FAILED = 103;
constexpr int IDR_MAINFRAME = 128;   // the program icon
constexpr int IDR_MAIN_MENU = 129;
constexpr int IDD_SET_ADDRESS = 132;

constexpr int IDC_DEVICE_LIST = 1000;
constexpr int IDC_ADDRESS = 1001;
constexpr int IDC_MASK = 1002;
constexpr int IDC_DEVICE_COUNT = 1003;

#ifndef IDOK   // windows.h has both, as macros of the same values
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
#endif
constexpr int ID_VIEW_REFRESH = 32774;
constexpr int ID_VIEW_EXIT = 32775;
constexpr int ID_CONFIG_IP_ADDRESS = 32780;
constexpr int ID_CONFIG_DEVICE_SETTINGS = 32781;

constexpr int SCAN_WINDOW_TIMER = 1;
constexpr int TICKER_TIMER = 2;
constexpr int TIMER_INTERVAL_MS = 500;
