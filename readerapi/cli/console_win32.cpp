#include "console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <io.h>
#include <windows.h>

void PrepareStandardStreams()
{
    // Nothing to do here. The port is a handle of CreateFileA, never one of
    // the standard handles (GetStdHandle) or of the C runtime's descriptors
    // 0 to 2, so it cannot take their place. A stream without a handle has
    // _fileno -2 ("not associated with an output stream", Microsoft's _fileno
    // documentation) and writes to it fail, which the program reports. There
    // is no SIGPIPE: a write to a closed pipe fails (ERROR_NO_DATA).
}

bool StandardErrorIsTerminal(int)
{
    // _isatty is true for any character device, a COM port included;
    // GetConsoleMode succeeds only on a console, which is never the line.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
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

std::FILE* OpenRegularFile(const std::string& name, std::string& why)
{
    const DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        why = "it is a directory";
        return nullptr;
    }
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        why = std::strerror(errno);
        return nullptr;
    }
    // A pipe or a device (CON, COM1) is not read: it may never end.
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
        why = "it is not a regular file (a pipe or device is not read)";
        std::fclose(file);
        return nullptr;
    }
    return file;
}
