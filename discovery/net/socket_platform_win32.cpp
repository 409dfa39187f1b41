#include "socket_platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace socket_platform {

// A bound socket's datagrams, the limited broadcast included, leave only by the
// interface that holds its address (Windows' strong host model), and a reply's
// arrival interface is that of the socket it came in on. docs/corvane.md names the
// documentation this rests on.
const bool ONE_SOCKET_PER_INTERFACE = true;

namespace {

std::string WinsockError(const char* what, int code)
{
    return std::string(what) + ": Windows Sockets error " + std::to_string(code);
}

SOCKET AsSocket(SocketHandle handle)
{
    return static_cast<SOCKET>(handle);
}

} // namespace

SocketHandle OpenUdp(const IpOctets& address, std::uint16_t port, std::string& error)
{
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        error = WinsockError("cannot make a UDP socket", ::WSAGetLastError());
        return -1;
    }
    // A failure to allow broadcasts shows as failing sends, each reported where it happens.
    const BOOL allow = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&allow), sizeof allow);
    u_long nonBlocking = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    std::memcpy(&local.sin_addr, address.data(), 4);
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
        ::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = WinsockError("cannot bind the UDP socket", ::WSAGetLastError());
        ::closesocket(s);
        return -1;
    }
    return SocketHandle(s);
}

void CloseUdp(SocketHandle socket)
{
    ::closesocket(AsSocket(socket));
}

std::uint16_t PortOf(SocketHandle socket)
{
    sockaddr_in bound{};
    int length = sizeof bound;
    if (::getsockname(AsSocket(socket), reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.sin_port);
}

bool SendDatagram(SocketHandle socket, const DISCOVERY_PACKET& packet, const IpOctets& to, std::uint16_t port,
                  const NetworkInterface*, std::string& error)
{
    // The socket's own binding picks the interface: nothing to add per send.
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    std::memcpy(&destination.sin_addr, to.data(), 4);
    const int sent = ::sendto(AsSocket(socket), reinterpret_cast<const char*>(&packet), sizeof packet, 0,
                              reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    if (sent == int(sizeof packet))
        return true;
    error = sent < 0 ? WinsockError("the datagram was not sent", ::WSAGetLastError())
                     : "the datagram went out incomplete";
    return false;
}

ReadResult ReadDatagram(SocketHandle socket, std::vector<char>& buffer, std::int64_t& size,
                        unsigned& arrivalInterface)
{
    arrivalInterface = 0;   // the socket's own interface tells it
    // recvfrom re-enables the FD_READ notification of WSAAsyncSelect. The buffer holds
    // the largest datagram, so the size read is the true size.
    const int received = ::recvfrom(AsSocket(socket), buffer.data(), int(buffer.size()), 0, nullptr, nullptr);
    if (received != SOCKET_ERROR) {
        size = received;
        return ReadResult::Datagram;
    }
    switch (::WSAGetLastError()) {
    case WSAEMSGSIZE:      // more than the buffer: dropped, and longer than any reply
        size = std::int64_t(buffer.size()) + 1;
        return ReadResult::Datagram;
    case WSAECONNRESET:    // "port unreachable" answering an earlier send, not a datagram
    case WSAENETRESET:     // "time exceeded" likewise
        return ReadResult::Report;
    default:               // WSAEWOULDBLOCK: nothing waits; anything else: nothing can be read
        return ReadResult::Nothing;
    }
}

bool WaitReadable(const std::vector<SocketHandle>& sockets, int milliseconds)
{
    fd_set readable;
    FD_ZERO(&readable);
    for (SocketHandle socket : sockets)
        FD_SET(AsSocket(socket), &readable);
    timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return ::select(0, &readable, nullptr, nullptr, &wait) > 0;
}

} // namespace socket_platform
