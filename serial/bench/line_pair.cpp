#include "line_pair.h"

#include "serwyn.h"

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

bool LinePair::open()
{
    char name[256] = {};
    if (openpty(&far, &raw, name, nullptr, nullptr) != 0)
        return false;
    termios t{};
    tcgetattr(far, &t);
    cfmakeraw(&t);
    tcsetattr(far, TCSANOW, &t);
    setenv("COM3", name, 1);
    if (SioReset(kPort, 4096, 4096) != 0)
        return false;
    fcntl(raw, F_SETFL, fcntl(raw, F_GETFL) | O_NONBLOCK);
    return true;
}

void LinePair::close()
{
    SioDone(kPort);
    ::close(raw);
    ::close(far);
}

void LinePair::feed(std::size_t count) const
{
    static const char bytes[4096] = {'x'};
    for (std::size_t sent = 0; sent < count;) {
        const ssize_t n = write(far, bytes, count - sent > sizeof bytes ? sizeof bytes : count - sent);
        if (n <= 0)
            std::abort();
        sent += static_cast<std::size_t>(n);
    }
    // The kernel hands the bytes over a moment after the write.
    for (int waiting = 0; waiting < static_cast<int>(count);) {
        pollfd ready{raw, POLLIN, 0};
        poll(&ready, 1, 1);
        ioctl(raw, FIONREAD, &waiting);
    }
}

void LinePair::drain(std::size_t count) const
{
    char bytes[4096];
    for (std::size_t got = 0; got < count;) {
        const ssize_t n = read(far, bytes, sizeof bytes);
        if (n <= 0)
            std::abort();
        got += static_cast<std::size_t>(n);
    }
}
