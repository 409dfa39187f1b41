#include "device_list_dlg.h"

#include "fixed_pitch_font.h"
#include "message_box.h"
#include "resource_ids.h"
#include "set_address_dlg.h"

#include <string>

namespace {

// Reads on under USER_TIMER_MINIMUM when the window's own loop is not running (a modal
// dialog or message box runs its own); in its own loop the window reads on whenever no
// message waits.
constexpr UINT_PTR DRAIN_TIMER = 3;

} // namespace

CDeviceListDlg::CDeviceListDlg()
    : m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_controller(*this, m_socket.Sockets())
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
    while (!m_bEnded) {
        // Reading on only when no message, input or due timer waits (PeekMessage hands
        // those out first, WM_TIMER included): a flood of datagrams keeps neither keys
        // nor the scan window's timer from the window.
        if (m_bDrainPending && !::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            DrainNow();
            continue;
        }
        if (::GetMessageW(&message, nullptr, 0, 0) <= 0)
            break;
        if (PreTranslateMessage(message) || ::IsDialogMessageW(m_hWnd, &message))
            continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    if (!m_bEnded && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);   // WM_QUIT from elsewhere
    m_socket.Sockets().Close();
    return m_nResult;
}

void CDeviceListDlg::EndDialog(int result)
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
        m_controller.OnClose();
        return TRUE;
    case WM_TIMER:
        if (wParam == DRAIN_TIMER)
            DrainNow();
        else
            m_controller.OnTimer(int(wParam));
        return TRUE;
    case WM_COMMAND:
        // The whole word: menu items and notification-0 commands only.
        if (m_controller.OnCommand(int(DWORD(wParam))))
            return TRUE;
        if (LOWORD(wParam) == IDC_DEVICE_LIST && HIWORD(wParam) == LBN_DBLCLK) {
            m_controller.OpenDeviceWebPage();
            return TRUE;
        }
        return FALSE;
    case WM_DISCOVERY_SOCKET_EVENT:
        m_socket.OnSocketEvent(lParam);
        return TRUE;
    case WM_DISCOVERY_RECEIVE:
        m_controller.ReceiveReplies();   // its 1 is read by no one: the socket sends and goes on
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
    m_socket.m_pOwner = m_hWnd;
    return m_controller.OnInitDialog();
}

void CDeviceListDlg::DrainSoon()
{
    // The events queued by the reads so far say only that more waits, which is known.
    m_socket.TakeQueuedEvents();
    if (!m_bDrainPending)
        ::SetTimer(m_hWnd, DRAIN_TIMER, USER_TIMER_MINIMUM, nullptr);
    m_bDrainPending = true;
}

void CDeviceListDlg::DrainNow()
{
    ::KillTimer(m_hWnd, DRAIN_TIMER);
    m_bDrainPending = false;
    m_controller.ReceiveReplies();   // asks again when more may wait
}

void CDeviceListDlg::ResetList()
{
    ::SendMessageW(List(), LB_RESETCONTENT, 0, 0);
}

void CDeviceListDlg::AddLine(const std::string& line, int row)
{
    // Drawn once per batch rather than once per line (ShowCount ends every batch):
    // a list box redraws its scroll bar at each added line.
    if (!m_bListFrozen) {
        ::SendMessageW(List(), WM_SETREDRAW, FALSE, 0);
        m_bListFrozen = true;
    }
    const LRESULT position = ::SendMessageA(List(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    if (position >= 0)
        ::SendMessageA(List(), LB_SETITEMDATA, WPARAM(position), LPARAM(row));
}

int CDeviceListDlg::SelectedRow() const
{
    const LRESULT selected = ::SendMessageW(List(), LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR)
        return -1;
    const LRESULT row = ::SendMessageW(List(), LB_GETITEMDATA, WPARAM(selected), 0);
    return row == LB_ERR ? -1 : int(row);
}

void CDeviceListDlg::SelectFirstLine()
{
    ::SendMessageW(List(), LB_SETCURSEL, 0, 0);
}

void CDeviceListDlg::ShowCount(int count)
{
    if (m_bListFrozen) {
        m_bListFrozen = false;
        ::SendMessageW(List(), WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(List(), nullptr, TRUE);
    }
    ::SetDlgItemInt(m_hWnd, IDC_DEVICE_COUNT, UINT(count), TRUE);
}

void CDeviceListDlg::StartTimer(int timerId, int milliseconds)
{
    ::SetTimer(m_hWnd, UINT_PTR(timerId), UINT(milliseconds), nullptr);
}

void CDeviceListDlg::StopTimer(int timerId)
{
    ::KillTimer(m_hWnd, UINT_PTR(timerId));
}

bool CDeviceListDlg::EditAddress(IpOctets& address, IpOctets& mask)
{
    CSetAddressDlg dialog(m_hWnd);
    return dialog.EditAddress(address, mask);
}

void CDeviceListDlg::ShowMessage(ProgramMessage message)
{
    ShowProgramMessage(m_hWnd, message);
}

void CDeviceListDlg::OpenWebAddress(const std::string& url)
{
    // "explorer" hands the address to the user's browser.
    std::string commandLine = "explorer " + url;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}

bool CDeviceListDlg::PreTranslateMessage(const MSG& message)
{
    // Only this window's keys: a dialog on top runs a loop of its own, but a
    // message box's keys must not reach here either.
    if (m_hWnd == nullptr || (message.hwnd != m_hWnd && !::IsChild(m_hWnd, message.hwnd)))
        return false;
    if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) {
        const DialogKey key = message.wParam == VK_F5 ? DialogKey::F5
                              : message.wParam == VK_RETURN ? DialogKey::Enter
                                                            : DialogKey::Other;
        // Windows reports a key pressed with Alt and without Ctrl as a system key.
        // Alt+Enter is passed on all the same: the window must see a key went down
        // with Alt, or releasing Alt would then open the menu and take the next keys.
        // Enter is the dialog's default command (IsDialogMessage).
        if (m_controller.OnKey(key, message.message == WM_SYSKEYDOWN, false) == KeyAction::Refresh)
            return true;
    }
    // What Alt+Enter leaves behind: no menu has a mnemonic for it, so it would only beep.
    // Enter with any other keys held is the dialog's default command (IsDialogMessage).
    return message.message == WM_SYSCHAR && message.wParam == VK_RETURN;
}
