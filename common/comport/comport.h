// Finding and opening a COM port on POSIX systems.
//
// Port n (COM1, COM2, ...) is the device named by the environment variable
// COMn when it is set, for example COM1=/dev/ttyUSB0, else /dev/ttyS(n-1).
// A port is opened for exclusive use: a second open of the same device, from
// this process or another, is refused with EBUSY.
#pragma once

#include <cstddef>

namespace comport {

// Writes the device path of COMn into path (always terminated).
// Returns false when n is 0 or the path does not fit.
bool devicePath(unsigned n, char *path, std::size_t size);

// Whether reads and writes on the opened port wait (the default) or not.
enum class Blocking { Yes, No };

// Opens a terminal device for reading and writing, exclusively, without
// making it the controlling terminal, with blocking or non-blocking I/O.
// Returns the file descriptor, or -1 with errno set (EBUSY when another user
// holds it, ENOTTY when it is not a terminal).
int openExclusive(const char *path, Blocking blocking = Blocking::Yes);

// Opens COMn as openExclusive does.
int open(unsigned n, Blocking blocking = Blocking::Yes);

// Releases the exclusive hold and closes the descriptor. Returns 0, or -1
// with errno set when close failed.
int close(int fd);

} // namespace comport
