// What the library takes from the system it runs on, besides the port
// operations of the serial link. The build picks one source per system
// (posix_platform.cpp or win32_platform.cpp), so the layers above need no
// conditional code.
#pragma once

#include "serial_link.h"

#include <ctime>

namespace qarn {

// The link and tick the exported functions use; alive as long as the library.
SerialLink &SystemLink();

// The PC's local broken-down time now, for setting the reader's clock.
std::tm LocalTimeNow();

// Tells the operator that the COM port could not be opened: a modal
// message box where the system has one.
void ShowPortFailure();

} // namespace qarn
