#pragma once
// What the main window needs of the network: the probe out of every usable interface,
// a set command out of one, and the replies with the interface each came in by. The
// socket layer (net/) provides it; the controller knows nothing more of sockets.

#include "discovery_packet.h"

#include <cstdint>
#include <string>

class ProbeNetwork {
public:
    // False with a reason in `error` when no socket can be made or bound.
    virtual bool Open(std::string& error) = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // Sends the datagram once out of every interface usable now; nothing when none is.
    // Returns how many datagrams were handed to the system.
    virtual int SendOnEveryInterface(const DISCOVERY_PACKET& packet) = 0;
    // Sends the datagram out of the interface with this index if it is usable now, and
    // nowhere else; true when it was handed to the system.
    virtual bool SendOnInterface(const DISCOVERY_PACKET& packet, unsigned interfaceIndex) = 0;
    // The next waiting datagram without waiting: its true size (the row filled only at
    // exactly 20 bytes) or -1 when none waits; `arrivalInterface` 0 if unknown.
    virtual std::int64_t Receive(DISCOVERY_PACKET& row, unsigned& arrivalInterface) = 0;
    // Reads and drops at most `limit` waiting datagrams; returns how many.
    virtual int DiscardPending(int limit) = 0;

protected:
    ~ProbeNetwork() = default;
};
