// Reads what Corvane's windows show, as an operator reads the screen, for the
// end-to-end test: run under the same Wine as the program.
//   window_reader state    the count field, the selected line and every line
//                          ("line DATA TEXT", DATA the line's item data)
//   window_reader message  the text of a message box captioned "Corvane"
//   window_reader dialog   the two fields of "Set IP Address"
//   window_reader item N   where line N of the list is on the screen ("item X Y", its middle)
// Exits 1 when the window asked about is not there.

#include "win32_headers.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Asked of the control itself: GetWindowText of another process's window gives
// only its caption, not what an edit control holds.
std::wstring TextOf(HWND window)
{
    std::wstring text(std::size_t(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(std::size_t(
        ::SendMessageW(window, WM_GETTEXT, WPARAM(text.size()), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

void Print(const char* label, const std::wstring& text)
{
    std::printf("%s %ls\n", label, text.c_str());
}

// A top-level dialog with this caption; `withList` tells the main window
// (it has list 1000) from a message box of the same caption.
HWND FindDialog(const wchar_t* caption, bool withList)
{
    for (HWND window = ::FindWindowExW(nullptr, nullptr, L"#32770", caption); window != nullptr;
         window = ::FindWindowExW(nullptr, window, L"#32770", caption)) {
        if ((::GetDlgItem(window, 1000) != nullptr) == withList)
            return window;
    }
    return nullptr;
}

int PrintState()
{
    HWND main = FindDialog(L"Corvane", true);
    if (main == nullptr)
        return 1;
    HWND list = ::GetDlgItem(main, 1000);
    Print("count", TextOf(::GetDlgItem(main, 1003)));
    std::printf("selected %d\n", int(::SendMessageW(list, LB_GETCURSEL, 0, 0)));
    const int lines = int(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < lines; ++i) {
        std::wstring text(std::size_t(::SendMessageW(list, LB_GETTEXTLEN, WPARAM(i), 0)) + 1, L'\0');
        text.resize(std::size_t(::SendMessageW(list, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text.data()))));
        std::printf("line %d %ls\n", int(::SendMessageW(list, LB_GETITEMDATA, WPARAM(i), 0)), text.c_str());
    }
    return 0;
}

int PrintMessage()
{
    HWND box = FindDialog(L"Corvane", false);
    if (box == nullptr)
        return 1;
    for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t kind[32] = {};
        ::GetClassNameW(child, kind, 32);
        if (::lstrcmpiW(kind, L"Static") == 0 && ::GetWindowTextLengthW(child) > 0)
            Print("message", TextOf(child));
    }
    return 0;
}

int PrintDialog()
{
    HWND dialog = FindDialog(L"Set IP Address", false);
    if (dialog == nullptr)
        return 1;
    Print("address", TextOf(::GetDlgItem(dialog, 1001)));
    Print("mask", TextOf(::GetDlgItem(dialog, 1002)));
    return 0;
}

int PrintItemPosition(int index)
{
    HWND main = FindDialog(L"Corvane", true);
    if (main == nullptr)
        return 1;
    HWND list = ::GetDlgItem(main, 1000);
    RECT item{};
    if (::SendMessageW(list, LB_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(&item)) == LB_ERR)
        return 1;
    POINT middle{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ::ClientToScreen(list, &middle);
    std::printf("item %ld %ld\n", long(middle.x), long(middle.y));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string what = argc > 1 ? argv[1] : "";
    const int result = what == "state" ? PrintState() : what == "message" ? PrintMessage()
                     : what == "dialog" ? PrintDialog()
                     : what == "item" && argc > 2 ? PrintItemPosition(std::atoi(argv[2])) : 2;
    if (result == 2)
        std::fprintf(stderr, "usage: window_reader state | message | dialog | item N\n");
    std::fflush(stdout);
    return result;
}
