#include "device_list_controller.h"

#include "device_line.h"
#include "resource_ids.h"
#include "web_page.h"

KeyAction ActionForKey(DialogKey key, bool alt, bool ctrl)
{
    const bool systemKey = alt && !ctrl;
    switch (key) {
    case DialogKey::F5:
        return systemKey ? KeyAction::None : KeyAction::Refresh;
    case DialogKey::Enter:
        // Enter is the dialog's default command, whatever else is held; Alt+Enter is
        // the system key the Device Settings item names.
        return systemKey ? KeyAction::OpenWebPage : KeyAction::ChangeAddress;
    case DialogKey::Other:
        break;
    }
    return KeyAction::None;
}

CDeviceListController::CDeviceListController(CDeviceListWindow& window, ProbeNetwork& network)
    : m_window(window), m_network(network), m_session(network)
{
}

int CDeviceListController::OnInitDialog()
{
    m_window.ShowCount(m_scan.m_nCount);
    std::string error;
    if (!m_network.Open(error)) {
        m_window.ShowMessage(ProgramMessage::SocketCreateError);
        return 0;
    }
    m_window.StartTimer(TICKER_TIMER, TIMER_INTERVAL_MS);
    Refresh();
    return 1;
}

void CDeviceListController::Refresh()
{
    if (m_scan.m_bScanning)
        return;
    // The probe drops the replies left unread from the last scan (a full table stops
    // reading) first: they are stale. Reading them also re-arms the read notification,
    // which stays off until the next read, so this scan's replies get through.
    if (m_session.Probe().end == ProbeEnd::NotListed) {
        // Not an empty network: the list and the sockets stay as they are.
        m_window.ShowMessage(ProgramMessage::InterfacesNotListed);
        return;
    }
    m_scan.BeginScan();
    m_window.ResetList();
    m_window.ShowCount(m_scan.m_nCount);
    m_window.StartTimer(SCAN_WINDOW_TIMER, TIMER_INTERVAL_MS);
}

int CDeviceListController::ReceiveReplies()
{
    const DrainResult drain = m_scan.ReceiveBatch(
        [this](DISCOVERY_PACKET& row, unsigned& arrivalInterface) { return m_network.Receive(row, arrivalInterface); },
        [this](int row) { m_window.AddLine(FormatDeviceLine(m_scan.m_devices[std::size_t(row)]), row); },
        RECEIVE_BATCH_READS);
    m_window.ShowCount(m_scan.m_nCount);
    // A bounded batch, so the window's other events get their turn under a flood; the
    // reading goes on after them as long as datagrams may still wait or keep coming,
    // without relying on the sockets' readiness reports for it.
    if (MoreMayWait(drain.end) || (drain.end == DrainEnd::NothingWaiting && drain.datagrams > 0))
        m_window.DrainSoon();
    return 1;
}

void CDeviceListController::OnTimer(int timerId)
{
    if (timerId == SCAN_WINDOW_TIMER) {
        m_window.StopTimer(SCAN_WINDOW_TIMER);
        if (m_scan.CloseScanWindow())
            m_window.SelectFirstLine();   // the lowest line in sorted order, not the first reply
    } else if (timerId == TICKER_TIMER) {
        // A safety net: whatever a missed readiness report left waiting is read here.
        ReceiveReplies();
        if (m_scan.Tick())
            Refresh();
    }
}

int CDeviceListController::SelectedRow() const
{
    if (m_scan.m_nCount == 0)
        return -1;
    const int row = m_window.SelectedRow();
    return row >= 0 && row < m_scan.m_nCount ? row : -1;
}

void CDeviceListController::ChangeAddress()
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
    if (!m_window.EditAddress(address, mask))
        return;

    PlannedChange change = CScanSession::Plan(device, answeredOn, address, mask);
    switch (change.verdict) {
    case ChangeVerdict::InvalidAddress:
        m_window.ShowMessage(ProgramMessage::InvalidIpAddress);
        return;
    case ChangeVerdict::InvalidMask:
        m_window.ShowMessage(ProgramMessage::InvalidMask);
        return;
    case ChangeVerdict::Send:
        // Out of the interface the device answered on, or nowhere; a failed send is silent.
        m_session.Send(change);
        m_scan.ArmRescanAfterAddressChange();
        return;
    case ChangeVerdict::NotFound:
    case ChangeVerdict::Ambiguous:
    case ChangeVerdict::Unchanged:
        return;
    }
}

void CDeviceListController::OpenDeviceWebPage()
{
    const int row = SelectedRow();
    if (row >= 0)
        m_window.OpenWebAddress(WebPageUrl(m_scan.m_devices[std::size_t(row)].ipAddress));
}

KeyAction CDeviceListController::OnKey(DialogKey key, bool alt, bool ctrl)
{
    const KeyAction action = ActionForKey(key, alt, ctrl);
    if (action == KeyAction::Refresh)
        Refresh();
    else if (action == KeyAction::OpenWebPage)
        OpenDeviceWebPage();
    return action;
}

bool CDeviceListController::OnCommand(int command)
{
    // The whole command word: menu items and notification-0 commands only.
    switch (command) {
    case ID_VIEW_REFRESH:
        Refresh();
        return true;
    case ID_VIEW_EXIT:
        m_window.EndDialog(0);
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

void CDeviceListController::OnClose()
{
    m_network.Close();
    m_window.EndDialog(IDOK);
}
