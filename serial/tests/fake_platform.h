// A scripted stand-in for the serial layer, for what a pseudo-terminal
// cannot show: modem lines, line errors, and a system that refuses a call.
#pragma once

#include "platform.h"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace fake {

using serwyn::platform::LineSettings;
using serwyn::platform::Timeouts;

// The system's code the fake gives for an invalid argument.
inline constexpr std::uint32_t kInvalidArgument = 87;

// One device behind a handle (handle = COM number).
struct Device {
    LineSettings settings{};           // as the device holds them
    Timeouts timeouts{};               // as the device holds them
    std::deque<std::uint8_t> received; // waiting to be read
    std::string sent;                  // what went out on the wire
    std::uint32_t outQueue = 0;
    std::uint32_t pendingErrors = 0;   // line-error flags not yet reported
    std::uint32_t modemInputs = 0;     // CTS, DSR, RI, DCD as status bits
    bool dtr = false, rts = false, breakOn = false;
    bool open = false;
};

struct World {
    std::map<unsigned, Device> devices;
    std::vector<std::string> calls;               // "operation" or "operation argument", in order
    std::map<std::string, std::uint32_t> refuse;  // operation name -> code it fails with
    std::uint32_t errorCode = 0;                  // what lastError() answers
    std::uint16_t ioAddress = 0;                  // last I/O port read
    std::uint8_t ioValue = 0;
};

// The state all fake operations work on; reset() starts afresh. A device
// appears behind a COM number on first use.
World &world();
void reset();
Device &device(unsigned comNumber);
// Names of the operations called since the last clearCalls(), arguments dropped.
std::vector<std::string> operations();
void clearCalls();

} // namespace fake
