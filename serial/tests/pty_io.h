// The far end of a pseudo-terminal, as the tests drive it: bytes written at
// the master side and waited for at the port's side, bytes read back within
// a deadline.
#pragma once

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <string>

inline constexpr auto kPtyPatience = std::chrono::seconds(5);

// Writes bytes at master and waits until the terminal side holds them all;
// false when the write fails or they never arrive.
inline bool sendToTerminal(int master, int terminal, const std::string &bytes)
{
    if (master < 0 || write(master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return false;
    // The terminal side takes them in asynchronously; polling it flushes that in.
    const auto deadline = std::chrono::steady_clock::now() + kPtyPatience;
    int waiting = 0;
    while (ioctl(terminal, FIONREAD, &waiting) == 0 && waiting < static_cast<int>(bytes.size()) &&
           std::chrono::steady_clock::now() < deadline) {
        pollfd ready{terminal, POLLIN, 0};
        poll(&ready, 1, 50);
    }
    return waiting >= static_cast<int>(bytes.size());
}

// Reads up to count bytes at master, stopping at the deadline or a hang-up.
inline std::string receiveFromTerminal(int master, std::size_t count)
{
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + kPtyPatience;
    while (master >= 0 && got.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, 50) != 1)
            continue;
        char chunk[256];
        const ssize_t n = read(master, chunk, std::min(sizeof chunk, count - got.size()));
        if (n <= 0)
            break;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}
