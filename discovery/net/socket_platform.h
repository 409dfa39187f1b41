#pragma once
// What ProbeSocket needs of the system's sockets, one file per platform. Each error
// code a read can give is decided here, once.

#include "discovery_packet.h"
#include "probe_interfaces.h"

#include <cstdint>
#include <string>
#include <vector>

using SocketHandle = std::intptr_t;

// What one read found.
enum class ReadResult {
    Datagram,   // a datagram was read, of any size
    Nothing,    // nothing waits on this socket (or it cannot be read)
    Report,     // an error report about an earlier send, not a datagram: read on
};

namespace socket_platform {

// True where a socket bound to an interface's address is how a datagram is made to
// leave by that interface (Windows); false where one socket serves every interface.
extern const bool ONE_SOCKET_PER_INTERFACE;

// A non-blocking datagram socket bound to `address` and `port` (0: the system's choice),
// broadcasts allowed; -1 with a reason in `error` when it cannot be made or bound.
SocketHandle OpenUdp(const IpOctets& address, std::uint16_t port, std::string& error);
void CloseUdp(SocketHandle socket);
std::uint16_t PortOf(SocketHandle socket);

// Sends the 20 bytes to `to`:`port`. With `via`, out of that interface with its address
// as the source where one socket serves every interface; else as the socket's binding
// and the system's routes say. False with a reason.
bool SendDatagram(SocketHandle socket, const DISCOVERY_PACKET& packet, const IpOctets& to, std::uint16_t port,
                  const NetworkInterface* via, std::string& error);

// Reads one datagram into `buffer` without waiting. At Datagram, `size` is its true
// size and `arrivalInterface` the interface it came in by where the system tells it
// (0 otherwise).
ReadResult ReadDatagram(SocketHandle socket, std::vector<char>& buffer, std::int64_t& size,
                        unsigned& arrivalInterface);

// Waits up to `milliseconds` until any of the sockets has a datagram.
bool WaitReadable(const std::vector<SocketHandle>& sockets, int milliseconds);

} // namespace socket_platform
