#pragma once
// An interface list the test writes, for the socket layer to read at every send:
// interfaces come, go and change between two sends as the test says. Its "LANs" are
// loopback addresses (127.0.0.x), so real sockets carry every datagram and nothing
// is broadcast.

#include "interface_list.h"

#include <string>
#include <vector>

class ScriptedInterfaces final : public InterfaceSource {
public:
    bool List(std::vector<NetworkInterface>& interfaces, std::string& error) override
    {
        if (failing) {
            error = "the list cannot be read";
            return false;
        }
        interfaces = listed;
        return true;
    }

    std::vector<NetworkInterface> listed;
    bool failing = false;
};

// The system's loopback index: where one socket names the way out of each send, the
// system must know the interface it names. 1 if the system lists none.
inline unsigned SystemLoopbackIndex()
{
    std::vector<NetworkInterface> listed;
    std::string error;
    ListNetworkInterfaces(listed, error);
    for (const NetworkInterface& entry : listed)
        if (entry.loopback && entry.hasIpv4)
            return entry.index;
    return 1;
}

// A usable broadcast interface holding `address`.
inline NetworkInterface ScriptedLan(const std::string& name, unsigned index, IpOctets address)
{
    NetworkInterface lan;
    lan.name = name;
    lan.index = index;
    lan.up = true;
    lan.hasIpv4 = true;
    lan.address = address;
    lan.mask = {255, 0, 0, 0};
    lan.broadcast = true;
    return lan;
}
