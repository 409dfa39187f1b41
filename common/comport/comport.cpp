#include "comport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace comport {

bool devicePath(unsigned n, char *path, std::size_t size)
{
    if (n == 0 || size == 0)
        return false;
    char name[16];
    std::snprintf(name, sizeof name, "COM%u", n);
    const char *configured = std::getenv(name);
    int written = (configured && *configured)
                      ? std::snprintf(path, size, "%s", configured)
                      : std::snprintf(path, size, "/dev/ttyS%u", n - 1);
    return written > 0 && static_cast<std::size_t>(written) < size;
}

int openExclusive(const char *path, Blocking blocking)
{
    // O_NONBLOCK keeps open() from waiting for carrier on modem lines.
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;

    int failure = 0;
    termios settings{};
    if (!isatty(fd) || tcgetattr(fd, &settings) != 0)
        failure = ENOTTY;
    // TIOCEXCL does not stop root, so an advisory lock guards the device too.
    else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        failure = errno == EWOULDBLOCK ? EBUSY : errno;
    else if (ioctl(fd, TIOCEXCL) != 0)
        failure = errno;
    else if (blocking == Blocking::Yes) {
        int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
            failure = errno;
    }
    if (failure != 0) {
        ::close(fd);
        errno = failure;
        return -1;
    }
    return fd;
}

int open(unsigned n, Blocking blocking)
{
    char path[256];
    if (!devicePath(n, path, sizeof path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return openExclusive(path, blocking);
}

int close(int fd)
{
    ioctl(fd, TIOCNXCL);
    return ::close(fd);
}

} // namespace comport
