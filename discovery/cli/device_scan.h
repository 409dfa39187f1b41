#pragma once
// One scan without a window, as corvane-scan and corvane-set make it: a probe out of
// each interface chosen, then the replies until the window closes.

#include "probe_interfaces.h"
#include "probe_socket.h"
#include "scan_output.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

using ScanClock = std::chrono::steady_clock;

// The interfaces to probe: every usable one, or only the one named. Empty, with the
// reason in `error`, when there is none.
std::vector<NetworkInterface> InterfacesToProbe(const std::vector<NetworkInterface>& listed,
                                                const std::string& onlyName, std::string& error);

// Lists the interfaces, chooses those to probe (see InterfacesToProbe) and opens the
// socket; false with the reason in `error`.
bool PrepareScan(const std::string& onlyName, std::vector<NetworkInterface>& listed,
                 std::vector<NetworkInterface>& probed, ProbeSocket& socket, std::string& error);

struct ScannedDevice {
    FoundDevice found;
    unsigned interfaceIndex = 0;   // where the reply came in; 0 if unknown
};

struct ScanRound {
    std::vector<ScannedDevice> devices;   // in arrival order
    int probesSent = 0;
    ScanClock::time_point firstProbe;
    ScanClock::time_point lastReply;      // firstProbe while none came
};

// Done with the replies so far: ends the window early.
using ScanEnough = std::function<bool(const std::vector<ScannedDevice>& soFar)>;

// Probes every interface in `probed` and collects replies for `windowMs` after the last
// probe (or until `enough`). A probe that cannot go out is reported on standard error
// under the name `program`. `listed` names the arrival interfaces.
ScanRound ScanOnce(ProbeSocket& socket, const std::vector<NetworkInterface>& probed,
                   const std::vector<NetworkInterface>& listed, int windowMs, const char* program,
                   const ScanEnough& enough = {});
