#pragma once
// What the scan session needs of the network: the probe out of every usable interface,
// a set command out of one, and the replies with the interface each came in by. The
// socket layer (net/) provides it; the core knows nothing more of sockets.

#include "discovery_packet.h"
#include "probe_interfaces.h"

#include <cstdint>
#include <string>
#include <vector>

// SendOnEveryInterface's result when the interfaces could not be listed: nothing was
// sent, and the sockets are as they were.
constexpr int INTERFACES_NOT_LISTED = -1;

class ProbeNetwork {
public:
    // False with a reason in `error` when no socket can be made or bound.
    virtual bool Open(std::string& error) = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // The interfaces as the sends read them, now; false with a reason when the list
    // cannot be had.
    virtual bool ListInterfaces(std::vector<NetworkInterface>& listed, std::string& error) = 0;
    // Sends the datagram once out of every interface usable now; nothing when none is.
    // Returns how many datagrams were handed to the system, or INTERFACES_NOT_LISTED.
    virtual int SendOnEveryInterface(const DISCOVERY_PACKET& packet) = 0;
    // Sends the datagram out of the interface with this index if it is usable now, and
    // nowhere else; true when it was handed to the system.
    virtual bool SendOnInterface(const DISCOVERY_PACKET& packet, unsigned interfaceIndex) = 0;
    // The next waiting datagram without waiting: its true size (the row filled only at
    // exactly 20 bytes) or -1 when none waits; `arrivalInterface` 0 if unknown.
    virtual std::int64_t Receive(DISCOVERY_PACKET& row, unsigned& arrivalInterface) = 0;
    // Reads and drops at most `limit` waiting datagrams; returns how many.
    virtual int DiscardPending(int limit) = 0;
    // Waits up to `milliseconds` for a datagram; true when one waits. Only the tools
    // wait: a window is told by its event loop.
    virtual bool WaitReadable(int milliseconds) = 0;

protected:
    ~ProbeNetwork() = default;
};
