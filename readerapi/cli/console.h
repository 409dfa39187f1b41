#pragma once
// The little that differs between systems for the program.

#include <cstdio>
#include <string>

// Before anything opens the port: standard input, output and error are open
// (on the null device where they were closed), so the port never takes one
// of their places and nothing meant for them reaches the line; and a closed
// pipe makes a write fail instead of ending the program.
void PrepareStandardStreams();

// Whether standard error is a terminal an operator watches, and not the
// line of COMn.
bool StandardErrorIsTerminal(int port);

// On Windows the library shows a modal message box ("StartAPI FASLE!") when
// the port cannot be opened, which leaves a console user waiting on a window.
// There the port is opened and closed once before the library is called, and
// false comes back with the system's reason in `why`. Elsewhere the library
// reports on standard error itself; nothing is checked and the result is true.
bool CheckPortBeforeLibrary(int port, std::string& why);

// Opens a regular file for reading without waiting: a directory, a FIFO or a
// device is refused with the reason in `why`, as is a file that cannot be
// opened.
std::FILE* OpenRegularFile(const std::string& name, std::string& why);
