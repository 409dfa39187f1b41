#pragma once
// Which of the host's network interfaces a scan probes. A limited broadcast leaves
// by one interface only, so a scan sends its probe out of each one that can carry it.

#include "discovery_packet.h"

#include <string>
#include <vector>

// One interface as the system lists it; the socket layer's interface list (net/) fills these.
struct NetworkInterface {
    std::string name;
    unsigned index = 0;          // the system's interface index; never 0 for a real interface
    bool up = false;
    bool hasIpv4 = false;
    IpOctets address{};          // valid when hasIpv4
    IpOctets mask{};
    bool broadcast = false;      // can send broadcasts
    bool loopback = false;
    bool pointToPoint = false;
};

// Empty when a probe can go out of `candidate`, else why not ("is down", ...).
std::string WhyNotProbed(const NetworkInterface& candidate);

// The interfaces a scan sends its probe out of, once each, in listing order. The system
// may list an interface once per address: only its first IPv4 address is used.
std::vector<NetworkInterface> ChooseProbeInterfaces(const std::vector<NetworkInterface>& listed);

// The listed interface with this index, preferring an entry with an IPv4 address; null if none.
const NetworkInterface* FindInterface(const std::vector<NetworkInterface>& listed, unsigned index);
const NetworkInterface* FindInterface(const std::vector<NetworkInterface>& listed, const std::string& name);
