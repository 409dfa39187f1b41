// The serial operations on Linux, over termios and the tty ioctls.
#include "../platform.h"

#include "comport.h"
#include "custom_rate.h"
#include "termios_mapping.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#endif

namespace serwyn::platform {

namespace {

int fdOf(Handle handle) { return static_cast<int>(handle); }

// The driver's error counters in the order DeviceMemory keeps them, each
// with the flag it raises.
struct Counter {
    int serial_icounter_struct::*count;
    std::uint32_t flag;
};
constexpr Counter kCounters[] = {{&serial_icounter_struct::buf_overrun, kErrorRxOver},
                                 {&serial_icounter_struct::overrun, kErrorOverrun},
                                 {&serial_icounter_struct::parity, kErrorRxParity},
                                 {&serial_icounter_struct::frame, kErrorFrame},
                                 {&serial_icounter_struct::brk, kErrorBreak}};
static_assert(std::size(kCounters) == std::size(DeviceMemory{}.errorCounts));

void rememberCounts(DeviceMemory &memory, const serial_icounter_struct &now)
{
    for (std::size_t i = 0; i < std::size(kCounters); ++i)
        memory.errorCounts[i] = static_cast<std::uint32_t>(now.*kCounters[i].count);
}

// The flags of the errors counted since the counts were last remembered.
std::uint32_t newErrors(int fd, DeviceMemory &memory)
{
    serial_icounter_struct now{};
    if (!memory.countsErrors || ioctl(fd, TIOCGICOUNT, &now) != 0)
        return 0;
    std::uint32_t errors = 0;
    for (std::size_t i = 0; i < std::size(kCounters); ++i)
        if (static_cast<std::uint32_t>(now.*kCounters[i].count) != memory.errorCounts[i])
            errors |= kCounters[i].flag;
    rememberCounts(memory, now);
    return errors;
}

bool changeModemLine(int fd, unsigned long request, int line)
{
    return ioctl(fd, request, &line) == 0;
}

} // namespace

Handle open(unsigned comNumber, DeviceMemory &memory)
{
    // Reads never wait, whatever the terminal's time limits; write() waits
    // for room in poll() instead.
    const int fd = comport::open(comNumber, comport::Blocking::No);
    if (fd < 0)
        return kInvalidHandle;
    memory = DeviceMemory{};
    serial_icounter_struct counts{};
    memory.countsErrors = ioctl(fd, TIOCGICOUNT, &counts) == 0;
    if (memory.countsErrors)
        rememberCounts(memory, counts);
    return fd;
}

bool close(Handle handle) { return comport::close(fdOf(handle)) == 0; }

bool getState(Handle handle, LineSettings &settings)
{
    termios t{};
    if (tcgetattr(fdOf(handle), &t) != 0)
        return false;
    settings = posix::fromTermios(t);
    if (settings.baudRate == 0)
        posix::readCustomRate(fdOf(handle), settings.baudRate);
    return true;
}

bool setState(Handle handle, const LineSettings &settings)
{
    const int fd = fdOf(handle);
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    if (!posix::toTermios(settings, t)) {
        errno = EINVAL;
        return false;
    }
    speed_t fixed;
    const std::uint32_t customRate = posix::speedForRate(settings.baudRate, fixed) ? 0 : settings.baudRate;
    // One call, rate included, so a refusal leaves nothing half applied.
    // Not tcsetattr: it reads the line back and calls the whole record
    // refused when the terminal holds fewer bits than were asked (a
    // pseudo-terminal keeps 8 data bits and no parity) though the driver
    // took it, new speed and all.
    posix::TerminalWords words{t.c_iflag, t.c_oflag, t.c_cflag, t.c_lflag, {}};
    std::copy(t.c_cc, t.c_cc + std::size(words.cc), words.cc);
    if (!posix::applyTerminal(fd, words, customRate))
        return false;
    // Devices without modem-control lines (pseudo-terminals, some adapters)
    // refuse these; the settings stand all the same.
    if (settings.dtrControl == kDtrControlEnable)
        changeModemLine(fd, TIOCMBIS, TIOCM_DTR);
    else if (settings.dtrControl == kDtrControlDisable)
        changeModemLine(fd, TIOCMBIC, TIOCM_DTR);
    if (settings.rtsControl == kRtsControlEnable)
        changeModemLine(fd, TIOCMBIS, TIOCM_RTS);
    else if (settings.rtsControl == kRtsControlDisable)
        changeModemLine(fd, TIOCMBIC, TIOCM_RTS);
    return true;
}

bool getTimeouts(Handle handle, Timeouts &timeouts)
{
    termios t{};
    if (tcgetattr(fdOf(handle), &t) != 0)
        return false;
    timeouts = posix::timeoutsFromTermios(t);
    return true;
}

bool setTimeouts(Handle handle, const Timeouts &timeouts)
{
    termios t{};
    if (tcgetattr(fdOf(handle), &t) != 0)
        return false;
    posix::timeoutsToTermios(timeouts, t);
    return tcsetattr(fdOf(handle), TCSANOW, &t) == 0;
}

// The terminal driver sizes its own buffers.
bool setupQueues(Handle, std::int32_t, std::int32_t) { return true; }

// Nothing waits for line events here.
bool setEventMask(Handle, std::uint32_t) { return true; }

bool escape(Handle handle, Escape function)
{
    const int fd = fdOf(handle);
    switch (function) {
    case Escape::SetDtr: return changeModemLine(fd, TIOCMBIS, TIOCM_DTR);
    case Escape::ClearDtr: return changeModemLine(fd, TIOCMBIC, TIOCM_DTR);
    case Escape::SetRts: return changeModemLine(fd, TIOCMBIS, TIOCM_RTS);
    case Escape::ClearRts: return changeModemLine(fd, TIOCMBIC, TIOCM_RTS);
    case Escape::ResetDevice: return true;  // a terminal has no device reset
    }
    errno = EINVAL;
    return false;
}

bool queryErrors(Handle handle, DeviceMemory &memory, std::uint32_t &errors, QueueStatus &status)
{
    const int fd = fdOf(handle);
    int received = 0, pending = 0;
    if (ioctl(fd, FIONREAD, &received) != 0 || ioctl(fd, TIOCOUTQ, &pending) != 0)
        return false;
    status.inQueue = static_cast<std::uint32_t>(received);
    status.outQueue = static_cast<std::uint32_t>(pending);
    errors = newErrors(fd, memory);
    return true;
}

bool modemStatus(Handle handle, std::uint32_t &status)
{
    int lines = 0;
    if (ioctl(fdOf(handle), TIOCMGET, &lines) != 0)
        return false;
    status = ((lines & TIOCM_CTS) ? kModemCts : 0) | ((lines & TIOCM_DSR) ? kModemDsr : 0) |
             ((lines & TIOCM_RNG) ? kModemRing : 0) | ((lines & TIOCM_CAR) ? kModemDcd : 0);
    return true;
}

bool setBreak(Handle handle) { return ioctl(fdOf(handle), TIOCSBRK) == 0; }

bool clearBreak(Handle handle) { return ioctl(fdOf(handle), TIOCCBRK) == 0; }

bool purge(Handle handle, std::uint32_t flags)
{
    const bool output = flags & (kPurgeTxAbort | kPurgeTxClear);
    const bool input = flags & (kPurgeRxAbort | kPurgeRxClear);
    if (!output && !input)
        return true;
    return tcflush(fdOf(handle), output && input ? TCIOFLUSH : output ? TCOFLUSH : TCIFLUSH) == 0;
}

bool write(Handle handle, const void *data, std::uint32_t size, std::uint32_t &written)
{
    const int fd = fdOf(handle);
    written = 0;
    const auto *bytes = static_cast<const unsigned char *>(data);
    while (written < size) {
        const ssize_t n = ::write(fd, bytes + written, size - written);
        if (n > 0) {
            written += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        // The driver's buffer is full (flow control may be holding the
        // line): wait for room as a blocking write would.
        pollfd room{fd, POLLOUT, 0};
        if (poll(&room, 1, -1) < 0 && errno != EINTR)
            return false;
    }
    return true;
}

namespace {

// One read; a line with nothing to give reads as 0 bytes.
ssize_t readOnce(int fd, void *data, std::uint32_t size)
{
    ssize_t n;
    do
        n = ::read(fd, data, size);
    while (n < 0 && errno == EINTR);
    return n < 0 && errno == EAGAIN ? 0 : n;
}

} // namespace

bool read(Handle handle, DeviceMemory &memory, void *data, std::uint32_t size, std::uint32_t &received)
{
    const int fd = fdOf(handle);
    received = 0;
    // An empty read looks the same on an idle line and on one whose other
    // end hung up, and a second call tells them apart. So a line that gave
    // nothing last time is asked for its count first: 0 is idle, a failure
    // is the hang-up, one call either way. A line that gave bytes last time
    // is read straight away.
    if (size > 0 && !memory.lastReadFound) {
        int waiting = 0;
        if (ioctl(fd, FIONREAD, &waiting) != 0)
            return false;
        if (waiting == 0)
            return true;
    }
    const ssize_t n = readOnce(fd, data, size);
    if (n < 0)
        return false;
    memory.lastReadFound = n > 0;
    if (n == 0 && size > 0) {
        pollfd hangup{fd, 0, 0};
        if (poll(&hangup, 1, 0) == 1 && (hangup.revents & POLLHUP)) {
            errno = EIO;
            return false;
        }
    }
    received = static_cast<std::uint32_t>(n);
    return true;
}

bool takeByte(Handle handle, DeviceMemory &memory, std::uint8_t &byte, bool &received)
{
    const int fd = fdOf(handle);
    received = false;
    // The flags are dropped, as the queue query before a read drops them.
    newErrors(fd, memory);
    // A hung-up line reads as empty here, as its queue cannot be asked.
    const ssize_t n = readOnce(fd, &byte, 1);
    if (n < 0)
        return false;
    received = n == 1;
    return true;
}

bool readIoPort(std::uint16_t address, std::uint8_t &value)
{
#if defined(__x86_64__) || defined(__i386__)
    if (ioperm(address, 1, 1) != 0)
        return false;
    value = inb(address);
    ioperm(address, 1, 0);
    return true;
#else
    (void)address;
    (void)value;
    errno = ENOSYS;
    return false;
#endif
}

std::uint32_t lastError() { return static_cast<std::uint32_t>(errno); }

std::uint32_t invalidArgumentError() { return EINVAL; }

void errorText(std::uint32_t code, char *buffer, std::size_t size)
{
    char text[256];
    const char *message = strerror_r(static_cast<int>(code), text, sizeof text);
    std::snprintf(buffer, size, "%s", message);
}

} // namespace serwyn::platform
