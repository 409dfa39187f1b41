// Reads a custom line rate the way the kernel keeps it (termios2). Apart
// from the other test files, whose <termios.h> cannot share a file with it.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cstdint>
#include <sys/ioctl.h>

std::uint32_t customRateOf(int fd)
{
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0 || (t.c_cflag & CBAUD) != BOTHER)
        return 0;
    return t.c_ospeed;
}
