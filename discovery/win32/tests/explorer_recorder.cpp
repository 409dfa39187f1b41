// Stands in for the shell's "explorer" in the end-to-end test: placed beside
// Corvane.exe, it is what Corvane's CreateProcessA finds first. It appends the
// command line it was given to explorer.log beside itself. A windowed program,
// as the real one is: a console one would open a console and take the focus.

#include "win32_headers.h"

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size())));
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"explorer.log";
    HANDLE log = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return 1;
    const std::string line = std::string(::GetCommandLineA()) + "\n";
    DWORD written = 0;
    const bool ok = ::WriteFile(log, line.data(), DWORD(line.size()), &written, nullptr) && written == line.size();
    ::CloseHandle(log);
    return ok ? 0 : 1;
}
