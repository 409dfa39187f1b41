// The serial operations on Windows: the Win32 communications functions,
// which the operations mirror one for one.
#include "../platform.h"

#include "dcb_mapping.h"
#include "exclusive_open.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace serwyn::platform {

namespace {

HANDLE win32Handle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

} // namespace

Handle open(unsigned comNumber, DeviceMemory &)
{
    // The device namespace path opens COM10 and above too, which the
    // plain "COMn" name cannot.
    char path[24];
    std::snprintf(path, sizeof path, "\\\\.\\COM%u", comNumber);
    return reinterpret_cast<Handle>(win32::openExclusive(path));
}

bool close(Handle handle) { return CloseHandle(win32Handle(handle)) != 0; }

bool getState(Handle handle, LineSettings &settings)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(win32Handle(handle), &dcb))
        return false;
    settings = win32::fromDcb(dcb);
    return true;
}

bool setState(Handle handle, const LineSettings &settings)
{
    const HANDLE h = win32Handle(handle);
    DCB before{};
    before.DCBlength = sizeof before;
    const bool known = GetCommState(h, &before) != 0;
    DCB dcb = win32::toDcb(settings);
    if (SetCommState(h, &dcb))
        return true;
    // A driver may apply part of the record (the rate, say) before it
    // refuses the rest: put back what was there, keeping the refusal's code.
    const DWORD refusal = GetLastError();
    if (known)
        SetCommState(h, &before);
    SetLastError(refusal);
    return false;
}

bool getTimeouts(Handle handle, Timeouts &timeouts)
{
    COMMTIMEOUTS t{};
    if (!GetCommTimeouts(win32Handle(handle), &t))
        return false;
    timeouts = {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
    return true;
}

bool setTimeouts(Handle handle, const Timeouts &timeouts)
{
    COMMTIMEOUTS t{timeouts.readInterval, timeouts.readTotalMultiplier, timeouts.readTotalConstant,
                   timeouts.writeTotalMultiplier, timeouts.writeTotalConstant};
    return SetCommTimeouts(win32Handle(handle), &t) != 0;
}

bool setupQueues(Handle handle, std::int32_t inQueue, std::int32_t outQueue)
{
    return SetupComm(win32Handle(handle), static_cast<DWORD>(inQueue), static_cast<DWORD>(outQueue)) != 0;
}

bool setEventMask(Handle handle, std::uint32_t mask) { return SetCommMask(win32Handle(handle), mask) != 0; }

bool escape(Handle handle, Escape function)
{
    return EscapeCommFunction(win32Handle(handle), static_cast<DWORD>(function)) != 0;
}

bool queryErrors(Handle handle, DeviceMemory &, std::uint32_t &errors, QueueStatus &status)
{
    DWORD flags = 0;
    COMSTAT comStat{};
    if (!ClearCommError(win32Handle(handle), &flags, &comStat))
        return false;
    errors = flags;
    status.inQueue = comStat.cbInQue;
    status.outQueue = comStat.cbOutQue;
    return true;
}

bool modemStatus(Handle handle, std::uint32_t &status)
{
    DWORD lines = 0;
    if (!GetCommModemStatus(win32Handle(handle), &lines))
        return false;
    status = lines;
    return true;
}

bool setBreak(Handle handle) { return SetCommBreak(win32Handle(handle)) != 0; }

bool clearBreak(Handle handle) { return ClearCommBreak(win32Handle(handle)) != 0; }

bool purge(Handle handle, std::uint32_t flags) { return PurgeComm(win32Handle(handle), flags) != 0; }

bool write(Handle handle, const void *data, std::uint32_t size, std::uint32_t &written)
{
    written = 0;
    const auto *bytes = static_cast<const unsigned char *>(data);
    while (written < size) {
        DWORD n = 0;
        if (!WriteFile(win32Handle(handle), bytes + written, size - written, &n, nullptr))
            return false;
        // A write time limit set by someone else ran out: report what went.
        if (n == 0)
            break;
        written += n;
    }
    return true;
}

bool read(Handle handle, DeviceMemory &, void *data, std::uint32_t size, std::uint32_t &received)
{
    DWORD n = 0;
    const bool ok = ReadFile(win32Handle(handle), data, size, &n, nullptr) != 0;
    received = ok ? n : 0;
    return ok;
}

bool takeByte(Handle handle, DeviceMemory &, std::uint8_t &byte, bool &received)
{
    received = false;
    // The driver's count says whether a byte waits, so the read never waits
    // whatever time limits the port has; the query also drops the error flags.
    DWORD flags = 0;
    COMSTAT comStat{};
    if (!ClearCommError(win32Handle(handle), &flags, &comStat) || comStat.cbInQue == 0)
        return true;
    DWORD got = 0;
    if (!ReadFile(win32Handle(handle), &byte, 1, &got, nullptr))
        return false;
    received = got == 1;
    return true;
}

// The port-input instruction traps in user mode on NT-family systems and
// would end the calling process: refuse instead.
bool readIoPort(std::uint16_t, std::uint8_t &)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

std::uint32_t lastError() { return GetLastError(); }

std::uint32_t invalidArgumentError() { return ERROR_INVALID_PARAMETER; }

void errorText(std::uint32_t code, char *buffer, std::size_t size)
{
    // Formatted whole first: FormatMessageA given too little room writes
    // nothing useful, and the caller's text is to be cut to fit.
    char text[512];
    const DWORD neutralSystemDefault = MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  neutralSystemDefault, text, sizeof text, nullptr);
    if (length == 0)
        length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                text, sizeof text, nullptr);
    if (length == 0)
        std::snprintf(text, sizeof text, "system error %lu", static_cast<unsigned long>(code));
    std::snprintf(buffer, size, "%s", text);
}

} // namespace serwyn::platform
