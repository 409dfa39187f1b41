// Rates that have no termios speed constant, through Linux's termios2.
// Kept apart because the kernel's termios2 header cannot share a file with
// the C library's <termios.h>.
#pragma once

#include <cstdint>

namespace serwyn::posix {

// Sets the line's rate to any number of bits per second, leaving the other
// settings alone. False with errno set when the driver refuses it.
bool setCustomRate(int fd, std::uint32_t rate);

// The rate of a line whose speed was set as a custom rate; false when the
// line has none.
bool readCustomRate(int fd, std::uint32_t &rate);

} // namespace serwyn::posix
