#pragma once
// "Set IP Address": the modal dialog that edits one device's address and mask.

#include "discovery_packet.h"
#include "win32_headers.h"

#include <string>

class CSetAddressDlg {
public:
    explicit CSetAddressDlg(HWND owner) : m_owner(owner) {}

    // Shows the dialog filled with the values given. On OK stores the parsed
    // fields (all zero for a field that does not parse) and returns true; on
    // Cancel or Esc leaves both unchanged and returns false.
    bool EditAddress(IpOctets& address, IpOctets& mask);

    std::string m_strAddress;
    std::string m_strMask;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void UpdateData(HWND window, bool saveAndValidate);

    HWND m_owner;
};
