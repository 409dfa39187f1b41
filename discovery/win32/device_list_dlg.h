#pragma once
// The main window's Win32 skin: maps window messages onto the controller and carries
// out what the controller asks of its window.

#include "device_list_controller.h"
#include "discovery_socket.h"
#include "win32_headers.h"

class CDeviceListDlg : private CDeviceListWindow {
public:
    CDeviceListDlg();
    ~CDeviceListDlg();
    CDeviceListDlg(const CDeviceListDlg&) = delete;
    CDeviceListDlg& operator=(const CDeviceListDlg&) = delete;

    // Creates the window and runs it until it ends; returns the value it ended with,
    // or -1 when the window could not be created.
    INT_PTR DoModal();

    // Icon, font, socket, ticker and first scan. 0 when the socket could not be created.
    int OnInitDialog();
    // The key checks made before dialog navigation; true when the key was used.
    bool PreTranslateMessage(const MSG& message);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    HWND List() const;
    // Reads on, as the controller asked, now that no message waits.
    void DrainNow();

    // What the controller asks of its window.
    void ResetList() override;
    void AddLine(const std::string& line, int row) override;
    int SelectedRow() const override;
    void SelectFirstLine() override;
    void ShowCount(int count) override;
    void StartTimer(int timerId, int milliseconds) override;
    void StopTimer(int timerId) override;
    bool EditAddress(IpOctets& address, IpOctets& mask) override;
    void ShowMessage(ProgramMessage message) override;
    void OpenWebAddress(const std::string& url) override;
    void EndDialog(int result) override;
    void DrainSoon() override;

    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    HFONT m_hFixedFont = nullptr;   // only when the template's font is not fixed-pitch
    CDiscoverySocket m_socket;
    CDeviceListController m_controller;
    bool m_bDrainPending = false;   // the controller asked to read on
    bool m_bListFrozen = false;     // lines are being added: the list is not redrawn
    bool m_bEnded = false;
    INT_PTR m_nResult = 0;
};
