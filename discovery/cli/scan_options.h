#pragma once
// corvane-scan's command line.

#include <string>

struct ScanOptions {
    int timeoutMs = 500;
    std::string interfaceName;   // empty: every usable interface
    bool json = false;
    bool stats = false;
    bool help = false;
    bool version = false;
};

extern const char* const SCAN_USAGE;

// Fills `options` from argv (UTF-8 on every platform); false with a reason in `error` on a bad command line.
bool ParseScanOptions(int argc, const char* const* argv, ScanOptions& options, std::string& error);
