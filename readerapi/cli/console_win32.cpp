#include "console.h"

#include <cstdio>
#include <io.h>
#include <windows.h>

bool StandardErrorIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

bool CheckPortBeforeLibrary(int port, std::string& why)
{
    // The device the library opens: exclusive, as it opens it.
    char device[32];
    std::snprintf(device, sizeof device, "\\\\.\\COM%d", port);
    const HANDLE handle =
        CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return true;
    }
    const DWORD code = GetLastError();
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                   sizeof text, nullptr);
    why = text;
    while (!why.empty() && (why.back() == '\r' || why.back() == '\n' || why.back() == ' ' || why.back() == '.'))
        why.pop_back();
    why += " (Windows error " + std::to_string(code) + ")";
    return false;
}
