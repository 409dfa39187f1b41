// A line that stops draining: output on the port's terminal suspended, as
// after the far side sent XOFF. Every write then waits for room that does not
// come, whatever the kernel's buffers hold, until the line is started again.
#pragma once

#include <termios.h>

// fd is any descriptor of the port's terminal.
inline bool stopLine(int fd)
{
    return tcflow(fd, TCOOFF) == 0;
}

inline bool restartLine(int fd)
{
    return tcflow(fd, TCOON) == 0;
}
