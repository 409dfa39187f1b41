// The byte path of the serial library beside the raw system calls it is
// built on, over a pseudo-terminal: one byte at a time, an empty read, and
// bulk reads and writes. Each case times only the calls themselves; the
// far side feeds or drains the line between timed stretches. Times are the
// calling thread's processor time ("Time" column, manual time).
#include "line_pair.h"
#include "serwyn.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBatch = 4000;  // bytes per feed: the terminal keeps up to 4095
LinePair line;

// The calling thread's processor time: the calls run on it from start to
// end, and other programs on the machine do not count against them.
struct Clock {
    using time_point = double;
    static double now()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    }
};

double secondsSince(double start)
{
    return Clock::now() - start;
}

// Each iteration feeds a batch and takes it back one byte at a time.
template <typename TakeByte>
void perByte(benchmark::State &state, TakeByte take)
{
    for (auto _ : state) {
        line.feed(kBatch);
        const auto start = Clock::now();
        for (std::size_t i = 0; i < kBatch; ++i)
            benchmark::DoNotOptimize(take());
        state.SetIterationTime(secondsSince(start));
    }
    state.counters["per_call"] =
        benchmark::Counter(kBatch, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RawQueueCountAndRead(benchmark::State &state)
{
    perByte(state, [] {
        int waiting = 0;
        ioctl(line.raw, FIONREAD, &waiting);
        unsigned char byte = 0;
        return waiting > 0 && read(line.raw, &byte, 1) == 1 ? byte : -1;
    });
}

void RawReadOneByte(benchmark::State &state)
{
    perByte(state, [] {
        unsigned char byte = 0;
        return read(line.raw, &byte, 1) == 1 ? byte : -1;
    });
}

void SioGetcByte(benchmark::State &state)
{
    perByte(state, [] { return SioGetc(LinePair::kPort); });
}

// Reads of an idle line, a batch at a time.
template <typename ReadNothing>
void emptyReads(benchmark::State &state, ReadNothing readNothing)
{
    for (auto _ : state) {
        const auto start = Clock::now();
        for (std::size_t i = 0; i < kBatch; ++i)
            benchmark::DoNotOptimize(readNothing());
        state.SetIterationTime(secondsSince(start));
    }
    state.counters["per_call"] =
        benchmark::Counter(kBatch, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

char buffer[4096];

void RawEmptyRead(benchmark::State &state)
{
    emptyReads(state, [] { return read(line.raw, buffer, sizeof buffer); });
}

void SioGetsEmpty(benchmark::State &state)
{
    emptyReads(state, [] { return SioGets(LinePair::kPort, buffer, sizeof buffer); });
}

// One read of a whole batch per iteration.
template <typename ReadAll>
void bulkRead(benchmark::State &state, ReadAll readAll)
{
    for (auto _ : state) {
        line.feed(kBatch);
        const auto start = Clock::now();
        const auto got = readAll();
        state.SetIterationTime(secondsSince(start));
        if (got != static_cast<decltype(got)>(kBatch))
            state.SkipWithError("short read");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBatch));
}

void RawBulkRead(benchmark::State &state)
{
    bulkRead(state, [] { return read(line.raw, buffer, sizeof buffer); });
}

void SioGetsBulk(benchmark::State &state)
{
    bulkRead(state, [] { return SioGets(LinePair::kPort, buffer, sizeof buffer); });
}

// One write of a whole batch per iteration; the far side drains it after.
template <typename WriteAll>
void bulkWrite(benchmark::State &state, WriteAll writeAll)
{
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto sent = writeAll();
        state.SetIterationTime(secondsSince(start));
        if (sent != static_cast<decltype(sent)>(kBatch))
            state.SkipWithError("short write");
        line.drain(kBatch);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBatch));
}

void RawBulkWrite(benchmark::State &state)
{
    bulkWrite(state, [] { return write(line.raw, buffer, kBatch); });
}

void SioPutsBulk(benchmark::State &state)
{
    bulkWrite(state, [] { return SioPuts(LinePair::kPort, buffer, kBatch); });
}

// Raw case first, then the library's, so that each pair runs back to back.
BENCHMARK(RawQueueCountAndRead)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(RawReadOneByte)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(SioGetcByte)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(RawEmptyRead)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(SioGetsEmpty)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(RawBulkRead)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(SioGetsBulk)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(RawBulkWrite)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(SioPutsBulk)->UseManualTime()->Unit(benchmark::kMicrosecond);

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
