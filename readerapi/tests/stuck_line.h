// A line that stops draining: the far side of a pseudo-terminal that never
// reads, its buffers filled until they take nothing more.
#pragma once

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

// Writes through fd (another descriptor of the port's terminal) until the
// terminal takes no more, and returns the number of bytes written. The
// kernel moves bytes between its buffers after a write returns, so room
// can appear a moment later; the fill ends when none has for a while.
inline std::size_t fillUntilStuck(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    const char chunk[512] = {};
    std::size_t total = 0;
    for (;;) {
        const ssize_t n = write(fd, chunk, sizeof chunk);
        if (n > 0) {
            total += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN)
            break;
        pollfd room{fd, POLLOUT, 0};
        if (poll(&room, 1, 200) == 0)
            break;
    }
    fcntl(fd, F_SETFL, flags);
    return total;
}
