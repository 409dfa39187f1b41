#include "custom_rate.h"

#include <algorithm>
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <iterator>
#include <sys/ioctl.h>

namespace serwyn::posix {

bool applyTerminal(int fd, const TerminalWords &words, std::uint32_t customRate)
{
    termios2 t{};
    // Keeps the line discipline and whatever this record does not name.
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_iflag = words.iflag;
    t.c_oflag = words.oflag;
    t.c_lflag = words.lflag;
    t.c_cflag = words.cflag & ~(CBAUD << IBSHIFT);
    std::copy(std::begin(words.cc), std::begin(words.cc) + std::min<std::size_t>(NCCS, std::size(words.cc)),
              t.c_cc);
    if (customRate != 0) {
        t.c_cflag = (t.c_cflag & ~CBAUD) | BOTHER;
        t.c_ospeed = customRate;
        t.c_ispeed = customRate;
    }
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
