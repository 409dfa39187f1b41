// Costs of QARNAPI.dll on Windows (here under Wine) against reader
// simulators on COM ports: the process's CPU time per QARNGetTime round
// trip, and its share of the wall time while QARNGetTime waits through six
// attempts for a reader that never answers.
//   qarnapi_wine_bench READER-COM SILENT-COM
#include "qarnapi.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// 4 request bytes and an 11-byte reply, 10 bit times each at 38400 baud.
constexpr double kLineMsForGetTime = 15 * 10 * 1000.0 / 38400;

double processCpuMs()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME &t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) /
               1e4;
    };
    return ms(kernel) + ms(user);
}

double wallMs()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s READER-COM SILENT-COM\n", argv[0]);
        return 2;
    }
    const int readerPort = std::atoi(argv[1]);
    const int silentPort = std::atoi(argv[2]);
    unsigned char clock[7];
    std::int32_t handle = -1;

    if (QARNStartAPI(readerPort) != RC_OK || QARNOpenReader(&handle, 1) != RC_OK) {
        std::fprintf(stderr, "no reader on COM%d\n", readerPort);
        return 1;
    }
    constexpr int kRoundTrips = 2000;
    double cpu = processCpuMs(), wall = wallMs();
    for (int i = 0; i < kRoundTrips; ++i) {
        if (QARNGetTime(handle, clock) != RC_OK) {
            std::fprintf(stderr, "round trip %d failed\n", i);
            return 1;
        }
    }
    cpu = (processCpuMs() - cpu) / kRoundTrips;
    wall = (wallMs() - wall) / kRoundTrips;
    std::printf("round trip: %.3f ms CPU, %.3f ms wall per QARNGetTime; CPU %.1f %% of the line time\n",
                cpu, wall, 100.0 * cpu / kLineMsForGetTime);
    QARNTerminateAPI();

    // Handle 0 passes before any open: the wait is the exchange's alone.
    if (QARNStartAPI(silentPort) != RC_OK)
        return 1;
    for (int i = 0; i < 2; ++i) {
        cpu = processCpuMs();
        wall = wallMs();
        if (QARNGetTime(0, clock) != RC_FAILED) {
            std::fprintf(stderr, "the silent reader was answered\n");
            return 1;
        }
        cpu = processCpuMs() - cpu;
        wall = wallMs() - wall;
        std::printf("silent reader: gave up after %.0f ms wall, %.1f ms CPU, %.2f %% of the wall time\n",
                    wall, cpu, 100.0 * cpu / wall);
    }
    QARNTerminateAPI();

    constexpr int kDelays = 100;
    cpu = processCpuMs();
    wall = wallMs();
    for (int i = 0; i < kDelays; ++i)
        delay(5);
    cpu = processCpuMs() - cpu;
    wall = wallMs() - wall;
    std::printf("delay(5): %.2f ms wall each, CPU %.2f %% of the wall time\n", wall / kDelays,
                100.0 * cpu / wall);
    return 0;
}
