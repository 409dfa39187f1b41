#pragma once
// Which of the host's network interfaces a scan probes. A limited broadcast leaves
// by one interface only, so a scan sends its probe out of each one that can carry it.

#include "discovery_packet.h"

#include <string>
#include <utility>
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

// Where the socket layer learns which interfaces there are, at every send.
class InterfaceSource {
public:
    // Every interface with its flags; one entry per IPv4 address, and one without an
    // address for an interface that has none. False with a reason in `error` when the
    // system cannot give the list, which is not the same as an empty one.
    virtual bool List(std::vector<NetworkInterface>& interfaces, std::string& error) = 0;

protected:
    ~InterfaceSource() = default;
};

// Another source's entries for the interface of this name only, so that the sockets
// made from it are on that interface alone (corvane-scan and corvane-set's --interface).
class OnlyInterface final : public InterfaceSource {
public:
    OnlyInterface(InterfaceSource& all, std::string name) : m_all(all), m_name(std::move(name)) {}
    bool List(std::vector<NetworkInterface>& interfaces, std::string& error) override;

private:
    InterfaceSource& m_all;
    std::string m_name;
};

// Why a scan can send no probe, as the tools say it: `listed` is what the source gave,
// `onlyName` the interface asked for (empty: any).
std::string WhyNoProbe(const std::vector<NetworkInterface>& listed, const std::string& onlyName);
