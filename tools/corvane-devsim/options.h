#pragma once
// The simulator's command line.

#include "simulated_devices.h"

#include <string>
#include <vector>

struct DevsimOptions {
    std::string bindAddress = "0.0.0.0";
    int port = DISCOVERY_PORT;
    bool replyByBroadcast = false;
    bool logBytes = false;
    int delayMs = 0;
    std::vector<SimulatedDevice> devices;
    Misbehaviour misbehaviour;
};

extern const char* const DEVSIM_USAGE;

// Fills `options` from argv; false with a reason in `error` on a bad command line.
bool ParseDevsimOptions(int argc, const char* const* argv, DevsimOptions& options, std::string& error);
