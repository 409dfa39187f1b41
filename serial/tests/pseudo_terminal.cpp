#include "pseudo_terminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
constexpr auto kPatience = std::chrono::seconds(5);
}

PseudoTerminal::PseudoTerminal()
{
    char path[256];
    if (openpty(&master, &terminal, path, nullptr, nullptr) != 0)
        ADD_FAILURE() << "openpty failed";
    else
        name = path;
}

PseudoTerminal::~PseudoTerminal()
{
    if (master >= 0)
        close(master);
    if (terminal >= 0)
        close(terminal);
}

void PseudoTerminal::send(const std::string &bytes) const
{
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    // The terminal side takes them in asynchronously; poll flushes that in.
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    int waiting = 0;
    while (ioctl(terminal, FIONREAD, &waiting) == 0 && waiting < static_cast<int>(bytes.size()) &&
           std::chrono::steady_clock::now() < deadline) {
        pollfd ready{terminal, POLLIN, 0};
        poll(&ready, 1, 100);
    }
    ASSERT_GE(waiting, static_cast<int>(bytes.size())) << "the bytes never reached the port's side";
}

std::string PseudoTerminal::receive(std::size_t count) const
{
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, 100) != 1)
            continue;
        char chunk[256];
        ssize_t n = read(master, chunk, std::min(sizeof chunk, count - got.size()));
        if (n <= 0)
            break;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

void PseudoTerminal::hangUp()
{
    close(master);
    master = -1;
}
