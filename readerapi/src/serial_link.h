// The serial link: the operations the layers above use to reach the reader,
// and the millisecond tick that times them. Everything above this file
// depends only on these two interfaces, so it runs against a fake as well.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qarn {

// A POSIX descriptor or a Win32 HANDLE: wide enough for a pointer. -1 is
// both systems' "nothing open" (INVALID_HANDLE_VALUE is all bits set).
using Port = std::intptr_t;
constexpr Port kNoPort = -1;

class Tick {
public:
    virtual ~Tick() = default;
    // Milliseconds from an arbitrary start, wrapping at 2^32.
    virtual std::uint32_t now() = 0;
    // Gives up the processor for about ms milliseconds; for 0, until the
    // tick next moves.
    virtual void sleep(std::uint32_t ms) = 0;
};

class SerialLink {
public:
    virtual ~SerialLink() = default;
    // The port handle, or kNoPort; parity 'n' is none, any other even.
    virtual Port OpenPort(std::uint16_t portNumber, char parity) = 0;
    // Non-zero when the port was closed.
    virtual int ClosePort(Port port) = 0;
    // 1: one byte stored; 0: timeout passed, destination untouched.
    virtual int ReadByte(Port port, std::uint8_t *destination, std::uint32_t timeoutMs) = 0;
    // 1: all bytes taken by the line; 0: the line did not take them within
    // WriteTimeoutMs(count), or refused them. A line that stops draining
    // must not hold the caller.
    virtual int WriteBytes(Port port, const std::uint8_t *bytes, std::size_t count) = 0;
    // Returns once more than ms milliseconds have passed; the tick at the end.
    virtual std::uint32_t delay(std::uint32_t ms) = 0;
};

// How long a write of count bytes may take: the bytes' line time at
// 38400 baud (0.26 ms each) rounded up to 1 ms each, plus room for the
// driver to start sending.
constexpr std::uint32_t kWriteMsPerByte = 1;
constexpr std::uint32_t kWriteMarginMs = 100;
inline std::uint32_t WriteTimeoutMs(std::size_t count)
{
    return static_cast<std::uint32_t>(count) * kWriteMsPerByte + kWriteMarginMs;
}

// True once more than timeoutMs have passed since start. Unsigned
// subtraction keeps this right across the tick's wrap-around.
inline bool timedOut(std::uint32_t start, std::uint32_t now, std::uint32_t timeoutMs)
{
    return now - start > timeoutMs;
}

// Waits until more than ms milliseconds have passed on tick; the tick at the
// end. Sleeps all but the last millisecond, then from tick to tick, so the
// wait ends right after the tick passes its end.
inline std::uint32_t waitOut(Tick &tick, std::uint32_t ms)
{
    const std::uint32_t start = tick.now();
    for (;;) {
        const std::uint32_t now = tick.now();
        if (timedOut(start, now, ms))
            return now;
        const std::uint32_t left = ms - (now - start);
        tick.sleep(left > 1 ? left - 1 : 0);
    }
}

} // namespace qarn
