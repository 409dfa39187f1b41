// Costs of the reader library against the simulated reader over a pty:
// the calling thread's CPU time per clock read, next to the time the same
// 15 bytes take on a real 38400-baud line, and the share of a processor a
// caller uses while it waits out a reader that never answers.
#include "qarnapi.h"
#include "readersim.h"
#include "stuck_line.h"

#include <benchmark/benchmark.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace {

// 4 request bytes and an 11-byte reply, 10 bit times each at 38400 baud.
constexpr double kLineMsForGetTime = 15 * 10 * 1000.0 / 38400;

readersim::ReaderSim *reader;
std::int32_t handle = -1;

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double wallMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void GetTimeRoundTrip(benchmark::State &state)
{
    unsigned char clock[7];
    double cpu = 0;
    for (auto _ : state) {
        const double start = threadCpuMs();
        if (QARNGetTime(handle, clock) != RC_OK)
            state.SkipWithError("no clock from the simulator");
        cpu += threadCpuMs() - start;
    }
    const double cpuPerCall = cpu / static_cast<double>(state.iterations());
    state.counters["cpu_ms_per_call"] = cpuPerCall;
    state.counters["pct_of_line_time"] = 100.0 * cpuPerCall / kLineMsForGetTime;
}
BENCHMARK(GetTimeRoundTrip)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void SilentReaderWait(benchmark::State &state)
{
    unsigned char clock[7];
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        for (int i = 0; i < 6; ++i)
            reader->queueFault({readersim::Fault::NoReply, 0, 0, {}});
        const double cpuStart = threadCpuMs(), wallStart = wallMs();
        if (QARNGetTime(handle, clock) != RC_FAILED)
            state.SkipWithError("the silent reader was answered");
        cpu += threadCpuMs() - cpuStart;
        wall += wallMs() - wallStart;
    }
    state.counters["wall_ms"] = wall / static_cast<double>(state.iterations());
    state.counters["cpu_pct_of_wall"] = 100.0 * cpu / wall;
}
BENCHMARK(SilentReaderWait)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void Delay5(benchmark::State &state)
{
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuStart = threadCpuMs(), wallStart = wallMs();
        delay(5);
        cpu += threadCpuMs() - cpuStart;
        wall += wallMs() - wallStart;
    }
    state.counters["wall_ms"] = wall / static_cast<double>(state.iterations());
    state.counters["cpu_pct_of_wall"] = 100.0 * cpu / wall;
}
BENCHMARK(Delay5)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(200);

// A line that takes no more bytes: the pty's output suspended, as after
// XOFF. Runs last: it moves the library to that port and
// back to the simulator's.
void StuckLineWrite(benchmark::State &state)
{
    int far = -1, near = -1;
    char name[256] = {};
    if (openpty(&far, &near, name, nullptr, nullptr) != 0) {
        state.SkipWithError("no pty");
        return;
    }
    setenv("COM7", name, 1);
    QARNStartAPI(7);
    stopLine(near);
    unsigned char clock[7];
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuStart = threadCpuMs(), wallStart = wallMs();
        if (QARNGetTime(handle, clock) != RC_FAILED)
            state.SkipWithError("the stuck line was answered");
        cpu += threadCpuMs() - cpuStart;
        wall += wallMs() - wallStart;
    }
    state.counters["wall_ms"] = wall / static_cast<double>(state.iterations());
    state.counters["cpu_pct_of_wall"] = 100.0 * cpu / wall;
    QARNStartAPI(5);
    close(near);
    close(far);
}
BENCHMARK(StuckLineWrite)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    readersim::ReaderSim sim;
    if (!sim.ok())
        return 1;
    reader = &sim;
    setenv("COM5", sim.devicePath().c_str(), 1);
    if (QARNStartAPI(5) != RC_OK || QARNOpenReader(&handle, 1) != RC_OK)
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    QARNTerminateAPI();
    benchmark::Shutdown();
    return 0;
}
