// corvane-scan: one discovery scan out of every usable interface, without a window,
// for scripts and test benches.

#include "interface_list.h"
#include "probe_interfaces.h"
#include "probe_socket.h"
#include "scan_main.h"
#include "scan_options.h"
#include "scan_output.h"
#include "scan_state.h"
#include "version.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_FOUND = 0;
constexpr int EXIT_NONE_FOUND = 1;
constexpr int EXIT_ERROR = 2;

using Clock = std::chrono::steady_clock;

int Fail(const std::string& message)
{
    std::fprintf(stderr, "corvane-scan: %s\n", message.c_str());
    return EXIT_ERROR;
}

// The interfaces to probe, or an empty list with the reason in `error`.
std::vector<NetworkInterface> InterfacesToProbe(const std::vector<NetworkInterface>& listed,
                                                const std::string& onlyName, std::string& error)
{
    if (onlyName.empty()) {
        std::vector<NetworkInterface> chosen = ChooseProbeInterfaces(listed);
        if (chosen.empty())
            error = "no usable network interface: none is up with an IPv4 address and able to broadcast "
                    "(loopback and point-to-point links are not probed)";
        return chosen;
    }
    const NetworkInterface* named = FindInterface(listed, onlyName);
    if (named == nullptr) {
        error = "no network interface named " + onlyName;
        return {};
    }
    const std::string why = WhyNotProbed(*named);
    if (!why.empty()) {
        error = "cannot probe interface " + onlyName + ": it " + why;
        return {};
    }
    return {*named};
}

double MillisecondsBetween(Clock::time_point from, Clock::time_point to)
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

    CScanState scan;
    scan.BeginScan();
    const Clock::time_point firstProbe = Clock::now();
    int sent = 0;
    for (const NetworkInterface& via : probed) {
        if (socket.SendVia(BuildProbe(), via, error))
            ++sent;
        else
            std::fprintf(stderr, "corvane-scan: the probe could not go out on %s: %s\n", via.name.c_str(),
                         error.c_str());
    }
    if (sent == 0)
        return Fail("no probe could be sent");

    // The window runs from the last probe, as the dialog's runs from its one probe.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(options.timeoutMs);
    Clock::time_point lastRow = firstProbe;
    const auto read = [&](DISCOVERY_PACKET& row, unsigned& arrivalInterface) {
        return socket.Receive(row, arrivalInterface);
    };
    const auto accepted = [&](int) { lastRow = Clock::now(); };
    while (!scan.IsFull()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || !socket.WaitReadable(int(left)))
            break;
        scan.ReceiveReplies(read, accepted);
    }
    scan.CloseScanWindow();

    std::vector<FoundDevice> found;
    for (int row = 0; row < scan.m_nCount; ++row) {
        const NetworkInterface* arrival = FindInterface(listed, scan.RowInterface(row));
        found.push_back({scan.m_devices[std::size_t(row)], arrival != nullptr ? arrival->name : std::string()});
    }
    found = SortedAsListed(found);
    const std::string out = options.json ? FormatJson(found) : FormatTextLines(found);
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (options.stats) {
        std::string names;
        for (const NetworkInterface& via : probed)
            names += (names.empty() ? "" : ",") + via.name;
        std::fprintf(stderr, "probes: %d (%s); devices: %d; first probe to last device: %.1f ms\n", sent,
                     names.c_str(), scan.m_nCount,
                     scan.m_nCount > 0 ? MillisecondsBetween(firstProbe, lastRow) : 0.0);
    }
    return scan.m_nCount > 0 ? EXIT_FOUND : EXIT_NONE_FOUND;
}

} // namespace

int RunCorvaneScan(int argc, char** argv)
{
    const int status = ScanAndPrint(argc, argv);
    // A full disk or a closed output must not pass for a list that was printed.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return Fail("cannot write to standard output");
    return status;
}
