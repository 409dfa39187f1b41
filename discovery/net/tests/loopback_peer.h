#pragma once
// A plain UDP socket on 127.0.0.1 standing in for a device, on both platforms.

#include "discovery_packet.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstring>
#include <vector>

class LoopbackPeer {
public:
    // One datagram as it came: its bytes and where it came from.
    struct Received {
        std::vector<unsigned char> bytes;
        IpOctets from{};
        std::uint16_t fromPort = 0;
    };

    LoopbackPeer()
    {
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local = At({127, 0, 0, 1}, 0);
        ::bind(m_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        Length length = sizeof local;
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &length);
        m_port = ntohs(local.sin_port);
    }
    ~LoopbackPeer()
    {
#ifdef _WIN32
        ::closesocket(m_socket);
#else
        ::close(m_socket);
#endif
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    std::uint16_t Port() const { return m_port; }

    // The next datagram sent to the peer; empty bytes after 10 s (a guard against
    // hanging, not a check of speed).
    Received Receive()
    {
        Received got;
#ifdef _WIN32
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_socket, &readable);
        timeval wait{10, 0};
        if (::select(0, &readable, nullptr, nullptr, &wait) <= 0)
            return got;
#else
        pollfd waiting{m_socket, POLLIN, 0};
        if (::poll(&waiting, 1, 10000) <= 0)
            return got;
#endif
        got.bytes.resize(64);
        sockaddr_in from{};
        Length length = sizeof from;
        const auto size = ::recvfrom(m_socket, reinterpret_cast<char*>(got.bytes.data()), int(got.bytes.size()), 0,
                                     reinterpret_cast<sockaddr*>(&from), &length);
        got.bytes.resize(size > 0 ? std::size_t(size) : 0);
        std::memcpy(got.from.data(), &from.sin_addr, 4);
        got.fromPort = ntohs(from.sin_port);
        return got;
    }
    void SendTo(const IpOctets& address, std::uint16_t port, const void* data, std::size_t size)
    {
        const sockaddr_in to = At(address, port);
        ::sendto(m_socket, static_cast<const char*>(data), int(size), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    }
    // True when a datagram sent from a plain socket bound to `address` comes from that
    // address. Wine binds a datagram socket to an interface rather than to an address
    // (so that it hears broadcasts, as Windows does), and 127.0.0.2 is on no interface
    // there: its datagrams come from 127.0.0.1, whatever sent them.
    bool BoundAddressIsTheSource(const IpOctets& address)
    {
        const Descriptor sender = ::socket(AF_INET, SOCK_DGRAM, 0);
        const sockaddr_in local = At(address, 0);
        ::bind(sender, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        const sockaddr_in to = At({127, 0, 0, 1}, m_port);
        const char marker = 'm';
        ::sendto(sender, &marker, 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
#ifdef _WIN32
        ::closesocket(sender);
#else
        ::close(sender);
#endif
        return Receive().from == address;
    }
    // Answers the sender of `probe` as a device does.
    void Answer(const Received& probe, const DISCOVERY_PACKET& reply)
    {
        SendTo(probe.from, probe.fromPort, &reply, sizeof reply);
    }

private:
#ifdef _WIN32
    using Descriptor = SOCKET;
    using Length = int;
#else
    using Descriptor = int;
    using Length = socklen_t;
#endif
    static sockaddr_in At(const IpOctets& address, std::uint16_t port)
    {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        std::memcpy(&at.sin_addr, address.data(), 4);
        at.sin_port = htons(port);
        return at;
    }

    Descriptor m_socket;
    std::uint16_t m_port = 0;
};

inline std::vector<unsigned char> Bytes(const DISCOVERY_PACKET& packet)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&packet);
    return {bytes, bytes + sizeof packet};
}
