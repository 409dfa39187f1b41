#pragma once
// The little that differs between systems for the program.

#include <string>

bool StandardErrorIsTerminal();

// On Windows the library shows a modal message box ("StartAPI FASLE!") when
// the port cannot be opened, which leaves a console user waiting on a window.
// There the port is opened and closed once before the library is called, and
// false comes back with the system's reason in `why`. Elsewhere the library
// reports on standard error itself; nothing is checked and the result is true.
bool CheckPortBeforeLibrary(int port, std::string& why);
