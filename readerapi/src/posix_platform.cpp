#include "platform.h"
#include "posix_link.h"

#include "comport.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace qarn {

SerialLink &SystemLink()
{
    static MonotonicTick tick;
    static PosixLink link(tick);
    return link;
}

std::tm LocalTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

namespace {

bool SameFile(const struct stat &a, const struct stat &b)
{
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode))
        return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

// Without message boxes the notice goes to standard error, but never onto
// the serial line: an application that closed its standard error may have
// that descriptor on COMn (it holds the port itself, which is why our open
// failed). There, and when standard error is closed, nothing is written.
void ShowPortFailure(std::uint16_t portNumber)
{
    struct stat err{};
    if (fstat(STDERR_FILENO, &err) != 0)
        return;
    char path[256];
    struct stat device{};
    if (comport::devicePath(portNumber, path, sizeof path) && stat(path, &device) == 0 &&
        SameFile(err, device))
        return;
    std::fputs("VELMO: StartAPI FASLE!\n", stderr);
    std::fflush(stderr);
}

} // namespace qarn
