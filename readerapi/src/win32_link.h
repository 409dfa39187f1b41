// The serial link over the Win32 communications functions, and the
// GetTickCount millisecond tick.
#pragma once

#include "serial_link.h"

#include <windows.h>

namespace qarn {

class SystemTick final : public Tick {
public:
    std::uint32_t now() override;
    void sleep(std::uint32_t ms) override;
};

// The reader's line: 38400 baud, 8 data bits, no parity for 'n' and even
// for any other selector, 1 stop bit, no flow control, DTR and RTS off.
void ReaderLineSettings(DCB &dcb, char parity);

// Read and write deadlines of one ReadByte wait: the driver returns as soon
// as one byte is there, or after waitMs with none; a write may take 1 ms
// per byte plus 100 ms.
COMMTIMEOUTS ReaderTimeouts(std::uint32_t waitMs);

// Opens a device (or file) by path for reading and writing, shared with no
// other holder, synchronous. INVALID_HANDLE_VALUE on failure.
HANDLE OpenExclusive(const char *path);

class Win32Link final : public SerialLink {
public:
    explicit Win32Link(Tick &tick) : tick_(tick) {}

    Port OpenPort(std::uint16_t portNumber, char parity) override;
    int ClosePort(Port port) override;
    int ReadByte(Port port, std::uint8_t *destination, std::uint32_t timeoutMs) override;
    int WriteBytes(Port port, const std::uint8_t *bytes, std::size_t count) override;
    std::uint32_t delay(std::uint32_t ms) override;

    // Applies the reader's line settings; non-zero when the driver took them.
    static int ConfigurePort(Port port, char parity);

    // The rest of the port interface; the library itself does not call them.
    static int WriteByte(Port port, std::uint8_t byte);
    static int PurgeInput(Port port);
    static int PurgeOutput(Port port);
    static int SetRts(Port port);
    static int ClearRts(Port port);
    static int SetDtr(Port port);
    static int ClearDtr(Port port);

private:
    // Sets the port's timeouts for a read wait unless the driver has them
    // already: most bytes are read with the same wait, and each setting is
    // a call into the driver.
    bool setReadWait(Port port, std::uint32_t waitMs);

    Tick &tick_;
    Port timeoutsPort_ = kNoPort;
    DWORD readWait_ = 0;
};

} // namespace qarn
