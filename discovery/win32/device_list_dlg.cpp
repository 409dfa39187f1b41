#include "device_list_dlg.h"

#include "address_rules.h"
#include "device_line.h"
#include "fixed_pitch_font.h"
#include "program_messages.h"
#include "resource_ids.h"
#include "set_address_dlg.h"
#include "web_page.h"

#include <string>

CDeviceListDlg::CDeviceListDlg()
    : m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

CDeviceListDlg::~CDeviceListDlg()
{
    if (m_hFixedFont != nullptr)
        ::DeleteObject(m_hFixedFont);
}

HWND CDeviceListDlg::List() const
{
    return ::GetDlgItem(m_hWnd, IDC_DEVICE_LIST);
}

INT_PTR CDeviceListDlg::DoModal()
{
    // A modeless window with a loop of our own, so the key checks run before
    // IsDialogMessage sees the keys.
    m_hWnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DEVICE_LIST), nullptr,
                                  DialogProc, reinterpret_cast<LPARAM>(this));
    if (m_hWnd == nullptr)
        return -1;
    MSG message;
    while (!m_bEnded && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (PreTranslateMessage(message) || ::IsDialogMessageW(m_hWnd, &message))
            continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    if (!m_bEnded && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);   // WM_QUIT from elsewhere
    m_socket.Close();
    return m_nResult;
}

void CDeviceListDlg::EndDialog(INT_PTR result)
{
    m_nResult = result;
    m_bEnded = true;
    ::DestroyWindow(m_hWnd);
}

INT_PTR CALLBACK CDeviceListDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDeviceListDlg*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_hWnd = window;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<CDeviceListDlg*>(::GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CDeviceListDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        OnClose();
        return TRUE;
    case WM_TIMER:
        OnTimer(wParam);
        return TRUE;
    case WM_COMMAND:
        if (OnCommand(wParam))
            return TRUE;
        if (LOWORD(wParam) == IDC_DEVICE_LIST && HIWORD(wParam) == LBN_DBLCLK) {
            OpenDeviceWebPage();
            return TRUE;
        }
        return FALSE;
    case WM_DISCOVERY_SOCKET_EVENT:
        m_socket.OnSocketEvent(lParam);
        return TRUE;
    case WM_DISCOVERY_RECEIVE:
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, ReceiveReplies());
        return TRUE;
    default:
        return FALSE;
    }
}

int CDeviceListDlg::OnInitDialog()
{
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    m_hFixedFont = FixedPitchReplacementFor(reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
    if (m_hFixedFont != nullptr) {
        for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT))
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(m_hFixedFont), TRUE);
    }
    UpdateData();
    if (!m_socket.Create(m_hWnd)) {
        ShowProgramMessage(m_hWnd, MSG_SOCKET_CREATE_ERROR, MB_ICONEXCLAMATION);
        return 0;
    }
    m_socket.m_pOwner = m_hWnd;
    ::SetTimer(m_hWnd, TICKER_TIMER, TIMER_INTERVAL_MS, nullptr);
    Refresh();
    return 1;
}

void CDeviceListDlg::UpdateData()
{
    ::SetDlgItemInt(m_hWnd, IDC_DEVICE_COUNT, UINT(m_scan.m_nCount), TRUE);
}

void CDeviceListDlg::Refresh()
{
    if (!m_scan.BeginScan())
        return;
    ::SendMessageW(List(), LB_RESETCONTENT, 0, 0);
    UpdateData();
    // Replies left unread from the last scan (a full table stops reading) are stale.
    // Reading them also re-arms the read notification, which stays off until the
    // next read, so this scan's replies get through.
    m_socket.DiscardPending(DISCARD_LIMIT_BEFORE_PROBE);
    m_socket.SendOnEveryInterface(BuildProbe());
    ::SetTimer(m_hWnd, SCAN_WINDOW_TIMER, TIMER_INTERVAL_MS, nullptr);
}

int CDeviceListDlg::ReceiveReplies()
{
    // A bounded batch, so the window's other messages get their turn under a flood.
    // Each read re-enables the notification: datagrams left waiting (a batch cut
    // short, a full table) announce themselves again after the next read.
    m_scan.ReceiveBatch([this](DISCOVERY_PACKET& row, unsigned& arrivalInterface) {
                            return m_socket.ReceiveFrom(row, arrivalInterface);
                        },
                        [this](int row) {
                            const std::string line = FormatDeviceLine(m_scan.m_devices[std::size_t(row)]);
                            const LRESULT position =
                                ::SendMessageA(List(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
                            if (position >= 0)
                                ::SendMessageA(List(), LB_SETITEMDATA, WPARAM(position), LPARAM(row));
                        },
                        RECEIVE_BATCH_READS);
    UpdateData();
    return 1;
}

void CDeviceListDlg::OnTimer(UINT_PTR timerId)
{
    if (timerId == SCAN_WINDOW_TIMER) {
        ::KillTimer(m_hWnd, SCAN_WINDOW_TIMER);
        if (m_scan.CloseScanWindow())
            ::SendMessageW(List(), LB_SETCURSEL, 0, 0);   // the lowest line in sorted order
    } else if (timerId == TICKER_TIMER) {
        if (m_scan.Tick())
            Refresh();
    }
}

int CDeviceListDlg::SelectedRow() const
{
    if (m_scan.m_nCount == 0)
        return -1;
    const LRESULT selected = ::SendMessageW(List(), LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR)
        return -1;
    const LRESULT row = ::SendMessageW(List(), LB_GETITEMDATA, WPARAM(selected), 0);
    return row >= 0 && row < m_scan.m_nCount ? int(row) : -1;
}

void CDeviceListDlg::ChangeAddress()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    // A copy: a rescan may refill the table while the dialog is open, and the change
    // must still go to, and be compared with, the device chosen here.
    const DISCOVERY_PACKET device = m_scan.m_devices[std::size_t(row)];
    const unsigned answeredOn = m_scan.RowInterface(row);
    IpOctets address = device.ipAddress;
    IpOctets mask = device.ipMask;
    CSetAddressDlg dialog(m_hWnd);
    if (!dialog.EditAddress(address, mask))
        return;

    const AddressChangePlan plan = PlanAddressChange(device, address, mask);
    switch (plan.verdict) {
    case AddressChangeVerdict::InvalidAddress:
        ShowProgramMessage(m_hWnd, MSG_INVALID_IP_ADDRESS);
        return;
    case AddressChangeVerdict::InvalidMask:
        ShowProgramMessage(m_hWnd, MSG_INVALID_MASK);
        return;
    case AddressChangeVerdict::Unchanged:
        return;
    case AddressChangeVerdict::Send:
        for (const DISCOVERY_PACKET& datagram : plan.datagrams)
            m_socket.SendVia(datagram, answeredOn);
        m_scan.ArmRescanAfterAddressChange();
        return;
    }
}

void CDeviceListDlg::OpenDeviceWebPage()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    // "explorer" hands the address to the user's browser.
    std::string commandLine = "explorer " + WebPageUrl(m_scan.m_devices[std::size_t(row)].ipAddress);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}

bool CDeviceListDlg::OnCommand(WPARAM command)
{
    // The whole word: menu items and notification-0 commands only.
    switch (command) {
    case ID_VIEW_REFRESH:
        Refresh();
        return true;
    case ID_VIEW_EXIT:
        EndDialog(0);
        return true;
    case ID_CONFIG_IP_ADDRESS:
    case IDOK:
        ChangeAddress();
        return true;
    case ID_CONFIG_DEVICE_SETTINGS:
        OpenDeviceWebPage();
        return true;
    case IDCANCEL:
        return true;   // Esc never closes the window
    default:
        return false;
    }
}

bool CDeviceListDlg::PreTranslateMessage(const MSG& message)
{
    // Only this window's keys: a dialog on top runs a loop of its own, but a
    // message box's keys must not reach here either.
    if (m_hWnd == nullptr || (message.hwnd != m_hWnd && !::IsChild(m_hWnd, message.hwnd)))
        return false;
    if (message.message == WM_KEYDOWN && message.wParam == VK_F5) {
        Refresh();
        return true;
    }
    if (message.message == WM_SYSKEYDOWN && message.wParam == VK_RETURN) {
        OpenDeviceWebPage();
        // Passed on all the same: the window must see a key went down with Alt,
        // or releasing Alt would then open the menu and take the next keys.
        return false;
    }
    // What Alt+Enter leaves behind: no menu has a mnemonic for it, so it would only beep.
    return message.message == WM_SYSCHAR && message.wParam == VK_RETURN;
}

void CDeviceListDlg::OnClose()
{
    m_socket.Close();
    EndDialog(IDOK);
}
