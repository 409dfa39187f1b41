// What the library takes from the system it runs on, besides the port
// operations of the serial link. The build picks one source per system
// (posix_platform.cpp or win32_platform.cpp), so the layers above need no
// conditional code.
#pragma once

#include "serial_link.h"

#include <cstdint>
#include <ctime>

namespace qarn {

// The link and tick the exported functions use; alive as long as the library.
SerialLink &SystemLink();

// The PC's local broken-down time now, for setting the reader's clock.
std::tm LocalTimeNow();

// Tells the operator that COMn could not be opened: a modal message box
// where the system has one, else a line on standard error unless that is
// the line of COMn itself.
void ShowPortFailure(std::uint16_t portNumber);

} // namespace qarn
