#pragma once
// The scanner's datagram socket: bound to a system-chosen port on every interface,
// sending the limited broadcast out of the interface chosen, and telling for each
// datagram received its true size and the interface it came in by.

#include "discovery_packet.h"
#include "probe_interfaces.h"

#include <cstdint>
#include <string>

struct ProbeDestination {
    IpOctets address{255, 255, 255, 255};
    std::uint16_t port = DISCOVERY_PORT;
};

class ProbeSocket {
public:
    explicit ProbeSocket(ProbeDestination destination = {}) : m_destination(destination) {}
    ~ProbeSocket();
    ProbeSocket(const ProbeSocket&) = delete;
    ProbeSocket& operator=(const ProbeSocket&) = delete;

    // False with a reason in `error` when the socket cannot be made or bound.
    bool Open(std::string& error);
    std::uint16_t LocalPort() const;
    // Sends one datagram out of `via` with its address as the source; false with a reason.
    bool SendVia(const DISCOVERY_PACKET& packet, const NetworkInterface& via, std::string& error);
    // Reads the next waiting datagram without waiting; returns its true size (the
    // row is filled only at exactly 20 bytes) or -1 when none waits. `arrivalInterface`
    // is the index of the interface it came in by, 0 if unknown.
    std::int64_t Receive(DISCOVERY_PACKET& row, unsigned& arrivalInterface);
    // Waits up to `milliseconds` for a datagram; true when one waits.
    bool WaitReadable(int milliseconds);

private:
    struct Platform;   // what a platform needs beside the socket

    ProbeDestination m_destination;
    std::intptr_t m_fd = -1;   // a descriptor, or a Windows socket handle
    Platform* m_platform = nullptr;
};
