// corvane-scan: one discovery scan out of every usable interface, without a window,
// for scripts and test benches.

#include "device_scan.h"
#include "interface_list.h"
#include "program_main.h"
#include "scan_options.h"
#include "scan_output.h"
#include "version.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_FOUND = 0;
constexpr int EXIT_NONE_FOUND = 1;
constexpr int EXIT_ERROR = 2;

int Fail(const std::string& message)
{
    std::fprintf(stderr, "corvane-scan: %s\n", message.c_str());
    return EXIT_ERROR;
}

double MillisecondsBetween(ScanClock::time_point from, ScanClock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

int ScanAndPrint(int argc, char** argv)
{
    ScanOptions options;
    std::string error;
    if (!ParseScanOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "corvane-scan: %s\n%s", error.c_str(), SCAN_USAGE);
        return EXIT_ERROR;
    }
    if (options.help) {
        std::fputs(SCAN_USAGE, stdout);
        return EXIT_FOUND;
    }
    if (options.version) {
        std::printf("corvane-scan %s\n", CORVANE_VERSION_TEXT);
        return EXIT_FOUND;
    }

    std::vector<NetworkInterface> listed;
    if (!ListNetworkInterfaces(listed, error))
        return Fail("cannot list the network interfaces: " + error);
    const std::vector<NetworkInterface> probed = InterfacesToProbe(listed, options.interfaceName, error);
    if (probed.empty())
        return Fail(error);
    ProbeSocket socket;
    if (!socket.Open(error))
        return Fail(error);

    const ScanRound round = ScanOnce(socket, probed, listed, options.timeoutMs, "corvane-scan");
    if (round.probesSent == 0)
        return Fail("no probe could be sent");

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
    const int status = ScanAndPrint(argc, argv);
    // A full disk or a closed output must not pass for a list that was printed.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return Fail("cannot write to standard output");
    return status;
}
