#pragma once
// corvane-set's work after its command line: the requests read and checked whole, one
// scan to find the devices, each change planned by the window's rules, sent whole out
// of its device's interface or reported as far as it went, and confirmed by
// rescanning, all through the session.

#include "scan_session.h"
#include "set_options.h"
#include "set_request.h"

#include <string>
#include <vector>

// Each rescan waits this long at most before it probes again.
constexpr int SET_RESCAN_WINDOW_MS = 500;

struct SetRun {
    int status = 0;       // 0 all done, 1 one or more not, 2 refused before any change or no scan could be made
    std::string report;   // standard output: the text lines or the JSON
    std::string error;    // at status 2: why; else a note for standard error, if any
};

// Reads the change or the list the options name, checks it whole, then does the work.
SetRun SetDevices(CScanSession& session, const SetOptions& options);
