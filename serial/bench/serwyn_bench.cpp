// The byte path of the serial library beside the raw system calls it is
// built on, over a pseudo-terminal: one byte at a time, an empty read, and
// bulk reads and writes. Each iteration times the raw calls and the
// library's calls alternately, so that both see the same machine; only the
// calls themselves are timed, as the calling thread's processor time, while
// the far side feeds or drains the line in between. Counters: ns per call
// (or per bulk call) for each side, and the library's time over the raw
// time ("ratio"; "ratio_pair" for SioGetc against FIONREAD + read).
#include "line_pair.h"
#include "serwyn.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBatch = 4000;  // bytes per feed: the terminal keeps up to 4095
LinePair line;
char buffer[4096];

double threadSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Processor seconds that calls() took, calls being run count times.
template <typename Call>
double timed(std::size_t count, Call call)
{
    const double start = threadSeconds();
    for (std::size_t i = 0; i < count; ++i)
        benchmark::DoNotOptimize(call());
    return threadSeconds() - start;
}

// Reports each side's time per call and their ratio; the library's time is
// the benchmark's own.
void report(benchmark::State &state, double rawSeconds, double sioSeconds, std::size_t callsPerIteration)
{
    const double calls = static_cast<double>(state.iterations()) * static_cast<double>(callsPerIteration);
    state.counters["raw_ns"] = rawSeconds * 1e9 / calls;
    state.counters["sio_ns"] = sioSeconds * 1e9 / calls;
    state.counters["ratio"] = sioSeconds / rawSeconds;
}

int rawPair()
{
    int waiting = 0;
    ioctl(line.raw, FIONREAD, &waiting);
    unsigned char byte = 0;
    return waiting > 0 && read(line.raw, &byte, 1) == 1 ? byte : -1;
}

int rawByte()
{
    unsigned char byte = 0;
    return read(line.raw, &byte, 1) == 1 ? byte : -1;
}

void ByteAtATime(benchmark::State &state)
{
    double pair = 0, raw = 0, sio = 0;
    for (auto _ : state) {
        line.feed(kBatch);
        pair += timed(kBatch, rawPair);
        line.feed(kBatch);
        raw += timed(kBatch, rawByte);
        line.feed(kBatch);
        const double s = timed(kBatch, [] { return SioGetc(LinePair::kPort); });
        sio += s;
        state.SetIterationTime(s);
    }
    report(state, raw, sio, kBatch);
    state.counters["pair_ns"] = pair * 1e9 / (static_cast<double>(state.iterations()) * kBatch);
    state.counters["ratio_pair"] = sio / pair;
}

void EmptyRead(benchmark::State &state)
{
    constexpr std::size_t kCalls = 1000;
    double raw = 0, sio = 0;
    for (auto _ : state) {
        raw += timed(kCalls, [] { return read(line.raw, buffer, sizeof buffer); });
        const double s = timed(kCalls, [] { return SioGets(LinePair::kPort, buffer, sizeof buffer); });
        sio += s;
        state.SetIterationTime(s);
    }
    report(state, raw, sio, kCalls);
}

void BulkRead(benchmark::State &state)
{
    double raw = 0, sio = 0;
    for (auto _ : state) {
        line.feed(kBatch);
        raw += timed(1, [] { return read(line.raw, buffer, sizeof buffer); });
        line.feed(kBatch);
        const double s = timed(1, [] { return SioGets(LinePair::kPort, buffer, sizeof buffer); });
        sio += s;
        state.SetIterationTime(s);
    }
    report(state, raw, sio, 1);
}

void BulkWrite(benchmark::State &state)
{
    double raw = 0, sio = 0;
    for (auto _ : state) {
        raw += timed(1, [] { return write(line.raw, buffer, kBatch); });
        line.drain(kBatch);
        const double s = timed(1, [] { return SioPuts(LinePair::kPort, buffer, kBatch); });
        sio += s;
        state.SetIterationTime(s);
        line.drain(kBatch);
    }
    report(state, raw, sio, 1);
}

BENCHMARK(ByteAtATime)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(EmptyRead)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BulkRead)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BulkWrite)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (!line.open())
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    line.close();
    benchmark::Shutdown();
    return 0;
}
