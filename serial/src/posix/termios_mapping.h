// Translation between the library's line settings and time limits and a
// terminal's termios record. Pure functions: no device is touched.
#pragma once

#include "../platform.h"

#include <termios.h>

namespace serwyn::posix {

// The termios speed constant for a rate; false when termios has none.
bool speedForRate(std::uint32_t rate, speed_t &speed);
// The rate of a termios speed constant; 0 when it names no fixed rate.
std::uint32_t rateForSpeed(speed_t speed);

// Writes the settings into t as a raw, locally connected line. Returns false
// and leaves t alone when the settings ask for what termios cannot express.
// The speed is set only when it has a termios constant.
bool toTermios(const platform::LineSettings &settings, termios &t);
// The settings t describes; baudRate is 0 when t holds no fixed rate.
platform::LineSettings fromTermios(const termios &t);

// Read time limits as VMIN and VTIME; termios keeps only the limits a
// serial line needs, in tenths of a second.
void timeoutsToTermios(const platform::Timeouts &timeouts, termios &t);
platform::Timeouts timeoutsFromTermios(const termios &t);

} // namespace serwyn::posix
