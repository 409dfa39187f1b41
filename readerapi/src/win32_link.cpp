#include "win32_link.h"

#include <cstdio>

namespace qarn {

namespace {

HANDLE handleOf(Port port) { return reinterpret_cast<HANDLE>(port); }

// The longest total read time the driver accepts in "return on the first
// byte" mode: MAXDWORD itself means something else there.
constexpr DWORD kLongestReadWait = MAXDWORD - 1;

} // namespace

std::uint32_t SystemTick::now() { return GetTickCount(); }

void SystemTick::sleep(std::uint32_t ms)
{
    // Sleep(0) only yields; one millisecond is the shortest real pause.
    Sleep(ms == 0 ? 1 : ms);
}

void ReaderLineSettings(DCB &dcb, char parity)
{
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 38400;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    // Reception goes on after line errors; the frame checksum catches them.
    dcb.fAbortOnError = 0;
    dcb.XonLim = 512;
    dcb.XoffLim = 128;
    dcb.ByteSize = 8;
    dcb.Parity = parity == 'n' ? NOPARITY : EVENPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0x3F;
    dcb.EofChar = 0x1A;
    dcb.EvtChar = 0;
}

COMMTIMEOUTS ReaderTimeouts(std::uint32_t waitMs)
{
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant =
        waitMs == 0 ? 1 : (waitMs > kLongestReadWait ? kLongestReadWait : waitMs);
    timeouts.WriteTotalTimeoutMultiplier = kWriteMsPerByte;
    timeouts.WriteTotalTimeoutConstant = kWriteMarginMs;
    return timeouts;
}

HANDLE OpenExclusive(const char *path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

Port Win32Link::OpenPort(std::uint16_t portNumber, char parity)
{
    // The device namespace form: plain "COM10" and above name no device.
    char name[16];
    std::snprintf(name, sizeof name, "\\\\.\\COM%u", static_cast<unsigned>(portNumber));
    HANDLE handle = OpenExclusive(name);
    if (handle == INVALID_HANDLE_VALUE)
        return kNoPort;
    const Port port = reinterpret_cast<Port>(handle);
    SetCommMask(handle, 0);
    SetupComm(handle, 4096, 4096);
    PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    // A port whose settings were refused is still handed out, as the
    // reader's checksums catch a line that runs wrong.
    ConfigurePort(port, parity);
    // Writes have their deadline from the start; reads set their wait.
    timeoutsPort_ = kNoPort;
    setReadWait(port, 1);
    return port;
}

bool Win32Link::setReadWait(Port port, std::uint32_t waitMs)
{
    COMMTIMEOUTS timeouts = ReaderTimeouts(waitMs);
    if (port == timeoutsPort_ && timeouts.ReadTotalTimeoutConstant == readWait_)
        return true;
    if (!SetCommTimeouts(handleOf(port), &timeouts)) {
        timeoutsPort_ = kNoPort;
        return false;
    }
    timeoutsPort_ = port;
    readWait_ = timeouts.ReadTotalTimeoutConstant;
    return true;
}

int Win32Link::ConfigurePort(Port port, char parity)
{
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    GetCommState(handleOf(port), &dcb);
    ReaderLineSettings(dcb, parity);
    return SetCommState(handleOf(port), &dcb) ? 1 : 0;
}

int Win32Link::ClosePort(Port port)
{
    if (port == timeoutsPort_)
        timeoutsPort_ = kNoPort;
    return CloseHandle(handleOf(port)) ? 1 : 0;
}

int Win32Link::ReadByte(Port port, std::uint8_t *destination, std::uint32_t timeoutMs)
{
    const std::uint32_t start = tick_.now();
    for (;;) {
        const std::uint32_t elapsed = tick_.now() - start;
        if (elapsed > timeoutMs)
            return 0;
        // The driver waits, not this thread: one millisecond more than is
        // left, and again for what is still left where the tick moves in
        // coarser steps than the driver's timer.
        const std::uint32_t left = timeoutMs - elapsed + 1;
        BYTE byte = 0;
        DWORD got = 0;
        if (setReadWait(port, left) && ReadFile(handleOf(port), &byte, 1, &got, nullptr)) {
            if (got == 1) {
                *destination = byte;
                return 1;
            }
            continue;
        }
        // A broken port fails at once: wait out the time instead of
        // spinning on it.
        tick_.sleep(left);
    }
}

int Win32Link::WriteBytes(Port port, const std::uint8_t *bytes, std::size_t count)
{
    // The port's write deadline (1 ms a byte plus 100 ms) ends a write the
    // line does not take; a short count is a failed write.
    DWORD written = 0;
    const BOOL ok = WriteFile(handleOf(port), bytes, static_cast<DWORD>(count), &written, nullptr);
    return ok && written == count ? 1 : 0;
}

std::uint32_t Win32Link::delay(std::uint32_t ms) { return waitOut(tick_, ms); }

int Win32Link::WriteByte(Port port, std::uint8_t byte)
{
    DWORD written = 0;
    WriteFile(handleOf(port), &byte, 1, &written, nullptr);
    return 1;
}

int Win32Link::PurgeInput(Port port) { return PurgeComm(handleOf(port), PURGE_RXCLEAR) ? 1 : 0; }
int Win32Link::PurgeOutput(Port port) { return PurgeComm(handleOf(port), PURGE_TXCLEAR) ? 1 : 0; }

int Win32Link::SetRts(Port port) { return EscapeCommFunction(handleOf(port), SETRTS) ? 1 : 0; }
int Win32Link::ClearRts(Port port) { return EscapeCommFunction(handleOf(port), CLRRTS) ? 1 : 0; }
int Win32Link::SetDtr(Port port) { return EscapeCommFunction(handleOf(port), SETDTR) ? 1 : 0; }
int Win32Link::ClearDtr(Port port) { return EscapeCommFunction(handleOf(port), CLRDTR) ? 1 : 0; }

} // namespace qarn
