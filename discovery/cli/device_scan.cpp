#include "device_scan.h"

#include "interface_list.h"
#include "scan_state.h"

#include <cstdio>

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

bool PrepareScan(const std::string& onlyName, std::vector<NetworkInterface>& listed,
                 std::vector<NetworkInterface>& probed, ProbeSocket& socket, std::string& error)
{
    if (!ListNetworkInterfaces(listed, error)) {
        error = "cannot list the network interfaces: " + error;
        return false;
    }
    probed = InterfacesToProbe(listed, onlyName, error);
    return !probed.empty() && socket.Open(error);
}

ScanRound ScanOnce(ProbeSocket& socket, const std::vector<NetworkInterface>& probed,
                   const std::vector<NetworkInterface>& listed, int windowMs, const char* program,
                   const ScanEnough& enough)
{
    ScanRound round;
    CScanState scan;
    scan.BeginScan();
    round.firstProbe = round.lastReply = ScanClock::now();
    std::string error;
    for (const NetworkInterface& via : probed) {
        if (socket.SendVia(BuildProbe(), via, error))
            ++round.probesSent;
        else
            std::fprintf(stderr, "%s: the probe could not go out on %s: %s\n", program, via.name.c_str(),
                         error.c_str());
    }
    if (round.probesSent == 0)
        return round;

    // The window runs from the last probe, as the dialog's runs from its one probe.
    const ScanClock::time_point deadline = ScanClock::now() + std::chrono::milliseconds(windowMs);
    const auto read = [&](DISCOVERY_PACKET& row, unsigned& arrivalInterface) {
        return socket.Receive(row, arrivalInterface);
    };
    const auto accepted = [&](int row) {
        round.lastReply = ScanClock::now();
        const unsigned index = scan.RowInterface(row);
        const NetworkInterface* arrival = FindInterface(listed, index);
        round.devices.push_back(
            {{scan.m_devices[std::size_t(row)], arrival != nullptr ? arrival->name : std::string()}, index});
    };
    while (!scan.IsFull()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - ScanClock::now()).count();
        if (left <= 0 || !socket.WaitReadable(int(left)))
            break;
        scan.ReceiveReplies(read, accepted);
        if (enough && enough(round.devices))
            break;
    }
    scan.CloseScanWindow();
    return round;
}
