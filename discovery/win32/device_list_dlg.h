#pragma once
// The main window: the device list, its scan cycle, and the operator's commands.

#include "discovery_socket.h"
#include "scan_state.h"
#include "win32_headers.h"

class CDeviceListDlg {
public:
    CDeviceListDlg();
    ~CDeviceListDlg();
    CDeviceListDlg(const CDeviceListDlg&) = delete;
    CDeviceListDlg& operator=(const CDeviceListDlg&) = delete;

    // Creates the window and runs it until it ends; returns the value it ended with,
    // or -1 when the window could not be created.
    INT_PTR DoModal();

    // Icon, socket, ticker and first scan. 0 when the socket could not be created.
    int OnInitDialog();
    void Refresh();
    int ReceiveReplies();
    void OnTimer(UINT_PTR timerId);
    void ChangeAddress();
    void OpenDeviceWebPage();
    // The key checks made before dialog navigation; true when the key was used.
    bool PreTranslateMessage(const MSG& message);
    // Menu commands and the dialog's own commands; true when handled.
    bool OnCommand(WPARAM command);
    void OnClose();
    void EndDialog(INT_PTR result);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void UpdateData();
    // The table row behind the selected line, or -1 when the list is empty or nothing is selected.
    int SelectedRow() const;
    HWND List() const;

    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    HFONT m_hFixedFont = nullptr;   // only when the template's font is not fixed-pitch
    CDiscoverySocket m_socket;
    CScanState m_scan;
    bool m_bEnded = false;
    INT_PTR m_nResult = 0;
};
