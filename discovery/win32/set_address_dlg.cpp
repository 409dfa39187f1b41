#include "set_address_dlg.h"

#include "dotted_quad.h"
#include "resource_ids.h"

namespace {

std::string FieldText(HWND window, int control)
{
    HWND field = ::GetDlgItem(window, control);
    std::string text(std::size_t(::GetWindowTextLengthA(field)) + 1, '\0');
    const int length = ::GetWindowTextA(field, text.data(), int(text.size()));
    text.resize(std::size_t(length > 0 ? length : 0));
    return text;
}

} // namespace

bool CSetAddressDlg::EditAddress(IpOctets& address, IpOctets& mask)
{
    m_strAddress = FormatDottedQuad(address);
    m_strMask = FormatDottedQuad(mask);
    const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SET_ADDRESS),
                                             m_owner, DialogProc, reinterpret_cast<LPARAM>(this));
    if (result != IDOK)
        return false;
    address = ParseAddressField(m_strAddress);
    mask = ParseAddressField(m_strMask);
    return true;
}

void CSetAddressDlg::UpdateData(HWND window, bool saveAndValidate)
{
    if (saveAndValidate) {
        m_strAddress = FieldText(window, IDC_ADDRESS);
        m_strMask = FieldText(window, IDC_MASK);
    } else {
        ::SetDlgItemTextA(window, IDC_ADDRESS, m_strAddress.c_str());
        ::SetDlgItemTextA(window, IDC_MASK, m_strMask.c_str());
    }
}

INT_PTR CALLBACK CSetAddressDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        auto* self = reinterpret_cast<CSetAddressDlg*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->UpdateData(window, false);
        return TRUE;   // focus to the first field, its text selected
    }
    case WM_COMMAND: {
        auto* self = reinterpret_cast<CSetAddressDlg*>(::GetWindowLongPtrW(window, DWLP_USER));
        // Enter goes to the focused push button: on Cancel it cancels.
        if (LOWORD(wParam) == IDOK) {
            self->UpdateData(window, true);
            ::EndDialog(window, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(window, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}
