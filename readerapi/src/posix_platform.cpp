#include "platform.h"
#include "posix_link.h"

#include <cstdio>

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

// Without message boxes the notice goes to standard error.
void ShowPortFailure()
{
    std::fputs("VELMO: StartAPI FASLE!\n", stderr);
    std::fflush(stderr);
}

} // namespace qarn
