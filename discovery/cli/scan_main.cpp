// corvane-scan: one discovery scan out of every usable interface, without a window,
// for scripts and test benches.

#include "device_scan.h"
#include "program_frame.h"
#include "program_main.h"
#include "scan_options.h"
#include "scan_output.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

const char PROGRAM_NAME[] = "corvane-scan";

namespace {

constexpr int EXIT_FOUND = 0;
constexpr int EXIT_NONE_FOUND = 1;

double MillisecondsBetween(ScanClock::time_point from, ScanClock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

int ScanAndPrint(int argc, char** argv)
{
    ScanOptions options;
    std::string error;
    const bool parsed = ParseScanOptions(argc, argv, options, error);
    if (const auto status = AnswerCommandLine(PROGRAM_NAME, SCAN_USAGE, parsed, error, options.help, options.version))
        return *status;

    std::vector<NetworkInterface> listed, probed;
    ProbeSocket socket;
    if (!PrepareScan(options.interfaceName, listed, probed, socket, error))
        return ReportFailure(PROGRAM_NAME, error);
    const ScanRound round = ScanOnce(socket, probed, listed, options.timeoutMs, PROGRAM_NAME);
    if (round.probesSent == 0)
        return ReportFailure(PROGRAM_NAME, "no probe could be sent");

    std::vector<FoundDevice> found;
    for (const ScannedDevice& device : round.devices)
        found.push_back(device.found);
    found = SortedAsListed(found);
    const std::string out = options.json ? FormatJson(found) : FormatTextLines(found);
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (options.stats) {
        std::string names;
        for (const NetworkInterface& via : probed)
            names += (names.empty() ? "" : ",") + via.name;
        std::fprintf(stderr, "probes: %d (%s); devices: %zu; first probe to last device: %.1f ms\n",
                     round.probesSent, names.c_str(), found.size(),
                     MillisecondsBetween(round.firstProbe, round.lastReply));
    }
    return found.empty() ? EXIT_NONE_FOUND : EXIT_FOUND;
}

} // namespace

int RunProgram(int argc, char** argv)
{
    return StatusAfterOutput(PROGRAM_NAME, ScanAndPrint(argc, argv));
}
