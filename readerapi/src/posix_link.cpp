#include "posix_link.h"

#include "comport.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace qarn {

std::uint32_t MonotonicTick::now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                       static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

void MonotonicTick::sleep(std::uint32_t ms)
{
    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    if (ms == 0) {
        // Up to the next millisecond boundary, where the tick moves.
        until.tv_nsec = (until.tv_nsec / 1000000L + 1) * 1000000L;
    } else {
        until.tv_sec += static_cast<time_t>(ms / 1000u);
        until.tv_nsec += static_cast<long>(ms % 1000u) * 1000000L;
    }
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

Port PosixLink::OpenPort(std::uint16_t portNumber, char parity)
{
    int fd = comport::open(portNumber);
    if (fd < 0)
        return kNoPort;
    tcflush(fd, TCIOFLUSH);
    // A port whose settings were refused is still handed out, as the
    // reader's checksums catch a line that runs wrong.
    ConfigurePort(fd, parity);
    // After the settings: the driver raises DTR and RTS when the speed
    // leaves B0.
    ClearDtr(fd);
    ClearRts(fd);
    return fd;
}

void ReaderLineSettings(termios &settings, char parity)
{
    cfmakeraw(&settings);
    cfsetispeed(&settings, B38400);
    cfsetospeed(&settings, B38400);
    settings.c_cflag &= ~(CSIZE | CSTOPB | PARODD | CRTSCTS | HUPCL);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    if (parity == 'n')
        settings.c_cflag &= ~PARENB;
    else
        settings.c_cflag |= PARENB;
    // Bytes with line errors are delivered as they came, not replaced.
    settings.c_iflag &= ~(INPCK | IGNPAR | PARMRK | IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

int PosixLink::ConfigurePort(Port port, char parity)
{
    termios settings{};
    tcgetattr(port, &settings);
    ReaderLineSettings(settings, parity);
    return tcsetattr(port, TCSANOW, &settings) == 0 ? 1 : 0;
}

int PosixLink::ClosePort(Port port)
{
    return comport::close(port) == 0 ? 1 : 0;
}

namespace {

// Poll timeouts are ints; a wait this long is as good as forever.
int pollTimeout(std::uint32_t ms)
{
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// Lets write() return at once with what fits instead of sleeping until the
// line drains; puts the descriptor back as it was when it goes out of scope.
class NonBlockingWrites {
public:
    explicit NonBlockingWrites(int fd) : fd_(fd), flags_(fcntl(fd, F_GETFL))
    {
        if (flags_ >= 0 && !(flags_ & O_NONBLOCK))
            switched_ = fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK) == 0;
    }
    ~NonBlockingWrites()
    {
        if (switched_)
            fcntl(fd_, F_SETFL, flags_);
    }
    NonBlockingWrites(const NonBlockingWrites &) = delete;
    NonBlockingWrites &operator=(const NonBlockingWrites &) = delete;

    bool ok() const { return flags_ >= 0 && ((flags_ & O_NONBLOCK) || switched_); }

private:
    int fd_;
    int flags_;
    bool switched_ = false;
};

} // namespace

int PosixLink::ReadByte(Port port, std::uint8_t *destination, std::uint32_t timeoutMs)
{
    const std::uint32_t start = tick_.now();
    for (;;) {
        const std::uint32_t elapsed = tick_.now() - start;
        if (elapsed > timeoutMs)
            return 0;
        // One millisecond more than is left, so the tick has passed the end
        // when poll gives up.
        const std::uint32_t left = timeoutMs - elapsed + 1;
        pollfd watch{static_cast<int>(port), POLLIN, 0};
        const int ready = poll(&watch, 1, pollTimeout(left));
        if (ready == 0 || (ready < 0 && errno == EINTR))
            continue;
        if (ready > 0 && (watch.revents & POLLIN)) {
            std::uint8_t byte = 0;
            const ssize_t got = read(port, &byte, 1);
            if (got == 1) {
                *destination = byte;
                return 1;
            }
            if (got < 0 && errno == EINTR)
                continue;
        }
        // A hung-up or broken port reports at once and gives nothing: wait
        // out the time instead of spinning on it.
        tick_.sleep(left);
    }
}

int PosixLink::WriteBytes(Port port, const std::uint8_t *bytes, std::size_t count)
{
    const std::uint32_t start = tick_.now();
    const std::uint32_t allowedMs = WriteTimeoutMs(count);
    NonBlockingWrites mode(port);
    if (!mode.ok())
        return 0;
    while (count > 0) {
        const ssize_t written = write(port, bytes, count);
        if (written > 0) {
            bytes += written;
            count -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN)
            return 0;
        // The driver's buffer is full: wait for room until the time is up.
        const std::uint32_t elapsed = tick_.now() - start;
        if (elapsed > allowedMs)
            return 0;
        pollfd watch{static_cast<int>(port), POLLOUT, 0};
        poll(&watch, 1, pollTimeout(allowedMs - elapsed + 1));
    }
    return 1;
}

std::uint32_t PosixLink::delay(std::uint32_t ms) { return waitOut(tick_, ms); }

int PosixLink::WriteByte(Port port, std::uint8_t byte)
{
    MonotonicTick tick;
    return PosixLink(tick).WriteBytes(port, &byte, 1);
}

int PosixLink::PurgeInput(Port port)
{
    return tcflush(port, TCIFLUSH) == 0 ? 1 : 0;
}

int PosixLink::PurgeOutput(Port port)
{
    return tcflush(port, TCOFLUSH) == 0 ? 1 : 0;
}

namespace {

int modemLine(Port port, unsigned long request, int line)
{
    return ioctl(port, request, &line) == 0 ? 1 : 0;
}

} // namespace

int PosixLink::SetRts(Port port) { return modemLine(port, TIOCMBIS, TIOCM_RTS); }
int PosixLink::ClearRts(Port port) { return modemLine(port, TIOCMBIC, TIOCM_RTS); }
int PosixLink::SetDtr(Port port) { return modemLine(port, TIOCMBIS, TIOCM_DTR); }
int PosixLink::ClearDtr(Port port) { return modemLine(port, TIOCMBIC, TIOCM_DTR); }

} // namespace qarn
