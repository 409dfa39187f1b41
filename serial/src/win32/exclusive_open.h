// Opening a device for the port table: one holder at a time.
#pragma once

#include <windows.h>

namespace serwyn::platform::win32 {

// Opens a device (or file) by path for reading and writing, shared with no
// other holder, synchronous and unbuffered. INVALID_HANDLE_VALUE on failure,
// with the system's code in GetLastError.
HANDLE openExclusive(const char *path);

} // namespace serwyn::platform::win32
