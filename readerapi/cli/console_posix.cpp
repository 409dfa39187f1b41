#include "console.h"

#include <unistd.h>

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

bool CheckPortBeforeLibrary(int, std::string&)
{
    return true;
}
