#include "socket_platform.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace socket_platform {

// IP_PKTINFO names the interface of each send and tells that of each arrival.
const bool ONE_SOCKET_PER_INTERFACE = false;

SocketHandle OpenUdp(const IpOctets& address, std::uint16_t port, std::string& error)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot make a UDP socket: ") + std::strerror(errno);
        return -1;
    }
    const int one = 1;
    // A failure to allow broadcasts shows as failing sends, each reported where it happens.
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    std::memcpy(&local.sin_addr, address.data(), 4);
    if (::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one) != 0) {
        error = std::string("cannot set up the UDP socket: ") + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = std::string("cannot bind the UDP socket: ") + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

void CloseUdp(SocketHandle socket)
{
    ::close(int(socket));
}

std::uint16_t PortOf(SocketHandle socket)
{
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(int(socket), reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.sin_port);
}

bool SendDatagram(SocketHandle socket, const DISCOVERY_PACKET& packet, const IpOctets& to, std::uint16_t port,
                  const NetworkInterface* via, std::string& error)
{
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    std::memcpy(&destination.sin_addr, to.data(), 4);
    iovec data{const_cast<DISCOVERY_PACKET*>(&packet), sizeof packet};
    msghdr message{};
    message.msg_name = &destination;
    message.msg_namelen = sizeof destination;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    // The interface and source address pick the way out: the system routes the
    // limited broadcast by the interface given here, not by the routing table.
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (via != nullptr) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = int(via->index);
        std::memcpy(&info.ipi_spec_dst, via->address.data(), 4);
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }
    ssize_t sent;
    do
        sent = ::sendmsg(int(socket), &message, 0);
    while (sent < 0 && errno == EINTR);
    if (sent == ssize_t(sizeof packet))
        return true;
    error = sent < 0 ? std::strerror(errno) : "the datagram went out incomplete";
    return false;
}

ReadResult ReadDatagram(SocketHandle socket, std::vector<char>& buffer, std::int64_t& size,
                        unsigned& arrivalInterface)
{
    arrivalInterface = 0;
    iovec data{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t received;
    // MSG_TRUNC: the result is the datagram's true size, whatever fitted.
    do
        received = ::recvmsg(int(socket), &message, MSG_TRUNC);
    while (received < 0 && errno == EINTR);
    if (received < 0) {
        switch (errno) {
        case ECONNREFUSED:   // an ICMP answer to an earlier send, not a datagram
        case EHOSTUNREACH:
        case ENETUNREACH:
            return ReadResult::Report;
        default:             // EAGAIN: nothing waits; anything else: nothing can be read
            return ReadResult::Nothing;
        }
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            arrivalInterface = unsigned(info.ipi_ifindex);
        }
    }
    size = received;
    return ReadResult::Datagram;
}

bool WaitReadable(const std::vector<SocketHandle>& sockets, int milliseconds)
{
    std::vector<pollfd> waiting;
    for (SocketHandle socket : sockets)
        waiting.push_back({int(socket), POLLIN, 0});
    int ready;
    do
        ready = ::poll(waiting.data(), waiting.size(), milliseconds);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

} // namespace socket_platform
