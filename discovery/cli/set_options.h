#pragma once
// corvane-set's command line.

#include "discovery_packet.h"

#include <string>
#include <vector>

// How long corvane-set rescans for the new values before it calls a change not confirmed.
constexpr int SET_CONFIRM_TIMEOUT_MS = 5000;
// How long the scan that finds the devices before any change waits for answers.
constexpr int SET_FIND_WINDOW_MS = 500;

struct SetOptions {
    int timeoutMs = SET_CONFIRM_TIMEOUT_MS;
    std::string interfaceName;        // empty: every usable interface
    std::string fromFile;             // --from: the list's file, "-" for standard input
    bool fromGiven = false;
    std::vector<std::string> change;  // MAC ADDRESS [MASK] on the command line
    bool renumber = false;            // --renumber ADDRESS --first ADDRESS [--mask MASK]
    IpOctets renumberFrom{};
    IpOctets first{};
    bool firstGiven = false;
    IpOctets mask{};
    bool maskGiven = false;
    bool json = false;
    bool dryRun = false;
    bool help = false;
    bool version = false;
};

extern const char* const SET_USAGE;

// Fills `options` from argv (UTF-8 on every platform); false with a reason in `error`
// on a bad command line: one change, --from or --renumber with --first, only one of them.
bool ParseSetOptions(int argc, const char* const* argv, SetOptions& options, std::string& error);
