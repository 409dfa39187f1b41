#include "message_box.h"

std::wstring ProgramNameFromPath(const std::wstring& modulePath)
{
    const std::size_t slash = modulePath.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? modulePath : modulePath.substr(slash + 1);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0)
        name.erase(dot);
    return name;
}

std::wstring ProgramName()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0)
            return L"Corvane";
        if (length < path.size()) {
            path.resize(length);
            return ProgramNameFromPath(path);
        }
        path.resize(path.size() * 2);   // cut short: try again with room
    }
}

void ShowProgramMessage(HWND owner, const wchar_t* text, UINT icon)
{
    ::MessageBoxW(owner, text, ProgramName().c_str(), MB_OK | icon);
}

void ShowProgramMessage(HWND owner, ProgramMessage message)
{
    const ProgramMessageText shown = TextOf(message);
    const std::string ascii = shown.text;
    ShowProgramMessage(owner, std::wstring(ascii.begin(), ascii.end()).c_str(), shown.exclamation ? MB_ICONEXCLAMATION : 0);
}

void ShowProgramString(HWND owner, UINT id)
{
    const wchar_t* text = nullptr;
    // A length of 0 with a pointer to the table's own read-only copy of the string.
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
    const std::wstring message = length > 0 ? std::wstring(text, std::size_t(length)) : std::wstring();
    ShowProgramMessage(owner, message.c_str(), MB_ICONEXCLAMATION);
}
