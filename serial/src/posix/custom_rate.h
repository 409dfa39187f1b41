// Line settings through Linux's termios2 ioctls: rates that have no termios
// speed constant, and applying a whole record in one call to the driver.
// Kept apart because the kernel's termios2 header cannot share a file with
// the C library's <termios.h>.
#pragma once

#include <cstdint>

namespace serwyn::posix {

// The words of a termios record, with the values both headers give them.
struct TerminalWords {
    std::uint32_t iflag, oflag, cflag, lflag;
    std::uint8_t cc[19];  // the control characters the kernel keeps
};

// Applies the record in one ioctl; the input speed follows the output
// speed. customRate 0 takes the speed from cflag, any other value is the
// rate in bits per second. False with errno set when the driver refuses.
bool applyTerminal(int fd, const TerminalWords &words, std::uint32_t customRate);

// The rate of a line whose speed was set as a custom rate; false when the
// line has none.
bool readCustomRate(int fd, std::uint32_t &rate);

} // namespace serwyn::posix
