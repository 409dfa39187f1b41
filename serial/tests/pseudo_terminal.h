// A pseudo-terminal pair for playing the device at the other end of a port.
#pragma once

#include <cstdint>
#include <string>

struct PseudoTerminal {
    int master = -1;    // the device's side
    int terminal = -1;  // the port's side, kept open so the pair lives on
    std::string name;   // path of the port's side

    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // Sends bytes from the device's side and waits up to five seconds until
    // they can be read at the port's side.
    void send(const std::string &bytes) const;
    // Waits up to five seconds for count bytes at the device's side.
    std::string receive(std::size_t count) const;
    // Hangs up the device's side.
    void hangUp();
};

// The rate of a line whose speed was set as a custom rate, or 0.
std::uint32_t customRateOf(int fd);
