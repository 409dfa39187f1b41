#include "custom_rate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace serwyn::posix {

bool setCustomRate(int fd, std::uint32_t rate)
{
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag = (t.c_cflag & ~CBAUD) | BOTHER;
    t.c_cflag &= ~(CBAUD << IBSHIFT);  // input speed follows the output speed
    t.c_ospeed = rate;
    t.c_ispeed = rate;
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool readCustomRate(int fd, std::uint32_t &rate)
{
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0 || (t.c_cflag & CBAUD) != BOTHER)
        return false;
    rate = t.c_ospeed;
    return true;
}

} // namespace serwyn::posix
