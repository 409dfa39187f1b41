#pragma once
// The main window's behaviour without a user-interface toolkit: the scan cycle, the
// two timers, the selection rule, the rescan countdown, the address change, the web
// page and the command table. Each front end's CDeviceListDlg maps its toolkit's
// events onto it and carries out what it asks of the window.

#include "discovery_packet.h"
#include "probe_network.h"
#include "program_messages.h"
#include "scan_session.h"
#include "scan_state.h"

#include <string>

// What the controller needs of its window.
class CDeviceListWindow {
public:
    // Empties the list.
    virtual void ResetList() = 0;
    // Adds a line where the sorted list puts it, with the table row it shows. Every
    // batch of added lines is followed by ShowCount.
    virtual void AddLine(const std::string& line, int row) = 0;
    // The row of the selected line, or -1 when none is selected.
    virtual int SelectedRow() const = 0;
    // Selects the lowest line in sorted order.
    virtual void SelectFirstLine() = 0;
    virtual void ShowCount(int count) = 0;
    // Timer 1 is one-shot, timer 2 periodic; both report back through OnTimer.
    virtual void StartTimer(int timerId, int milliseconds) = 0;
    virtual void StopTimer(int timerId) = 0;
    // Runs the address dialog modally with these values; false on Cancel.
    virtual bool EditAddress(IpOctets& address, IpOctets& mask) = 0;
    // An OK box captioned with the program's name; returns once dismissed.
    virtual void ShowMessage(ProgramMessage message) = 0;
    virtual void OpenWebAddress(const std::string& url) = 0;
    virtual void EndDialog(int result) = 0;
    // Calls ReceiveReplies again soon, after the window's waiting input and timers.
    virtual void DrainSoon() = 0;

protected:
    ~CDeviceListWindow() = default;
};

// What a key press does in the main window. A system key is one pressed with Alt and
// without Ctrl (AltGr is Ctrl+Alt), as Windows reports WM_SYSKEYDOWN.
enum class KeyAction { None, Refresh, ChangeAddress, OpenWebPage };
enum class DialogKey { F5, Enter, Other };
KeyAction ActionForKey(DialogKey key, bool alt, bool ctrl);

class CDeviceListController {
public:
    CDeviceListController(CDeviceListWindow& window, ProbeNetwork& network);

    // Opens the sockets, starts the ticker and makes the first scan; 0 when no socket
    // could be made (the message is shown, and neither ticker nor scan starts).
    int OnInitDialog();
    void Refresh();
    // Reads a bounded batch of replies into the table and the list; returns 1.
    int ReceiveReplies();
    void OnTimer(int timerId);
    void ChangeAddress();
    void OpenDeviceWebPage();
    // Carries out what the key does, but for ChangeAddress, which each window leaves
    // to its dialog's default command; returns the key's action.
    KeyAction OnKey(DialogKey key, bool alt, bool ctrl);
    // The command table; true when the command was handled.
    bool OnCommand(int command);
    // The window is closing: the sockets close, the dialog ends with IDOK.
    void OnClose();

    const CScanState& Scan() const { return m_scan; }

private:
    // The row behind the selected line, or -1 when the list is empty or nothing is selected.
    int SelectedRow() const;

    CDeviceListWindow& m_window;
    ProbeNetwork& m_network;
    CScanSession m_session;
    CScanState m_scan;
};
