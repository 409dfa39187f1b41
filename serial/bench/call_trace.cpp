// Runs each byte-path call a fixed number of times between marker system
// calls, so that a trace (count_syscalls.sh) shows what each call asks of
// the kernel.
#include "line_pair.h"
#include "serwyn.h"

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kCalls = 100;

// getppid() is nowhere else on these paths: it marks where a stretch starts.
void mark() { getppid(); }

} // namespace

int main()
{
    LinePair line;
    if (!line.open())
        return 1;
    char buffer[256];

    line.feed(kCalls);
    mark();  // SioGetc, one byte each
    for (int i = 0; i < kCalls; ++i)
        if (SioGetc(LinePair::kPort) < 0)
            return 2;
    mark();  // SioGetc, nothing there
    for (int i = 0; i < kCalls; ++i)
        SioGetc(LinePair::kPort);
    mark();  // SioGets, nothing there
    for (int i = 0; i < kCalls; ++i)
        SioGets(LinePair::kPort, buffer, sizeof buffer);
    mark();  // (feeding the line)
    line.feed(kCalls);
    mark();  // SioGets, one byte at a time of those waiting
    for (int i = 0; i < kCalls; ++i)
        if (SioGets(LinePair::kPort, buffer, 1) != 1)
            return 3;
    mark();  // SioPuts
    for (int i = 0; i < kCalls; ++i)
        SioPuts(LinePair::kPort, buffer, 16);
    mark();
    line.drain(kCalls * 16);
    line.close();
    std::printf("%d calls per stretch\n", kCalls);
    return 0;
}
