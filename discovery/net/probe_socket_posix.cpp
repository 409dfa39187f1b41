#include "probe_socket.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

struct ProbeSocket::Platform {};

ProbeSocket::~ProbeSocket()
{
    if (m_fd >= 0)
        ::close(int(m_fd));
}

bool ProbeSocket::Open(std::string& error)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    m_fd = fd;
    if (fd < 0) {
        error = std::string("cannot make a UDP socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    // Replies may come by broadcast, from any subnet: one socket on every interface
    // takes them all, and the arrival interface tells where each device answered.
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one) != 0 ||
        ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one) != 0) {
        error = std::string("cannot set up the UDP socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        error = std::string("cannot bind the UDP socket: ") + std::strerror(errno);
        return false;
    }
    return true;
}

std::uint16_t ProbeSocket::LocalPort() const
{
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (m_fd < 0 || ::getsockname(int(m_fd), reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.sin_port);
}

bool ProbeSocket::SendVia(const DISCOVERY_PACKET& packet, const NetworkInterface& via, std::string& error)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_destination.port);
    std::memcpy(&to.sin_addr, m_destination.address.data(), 4);
    iovec data{const_cast<DISCOVERY_PACKET*>(&packet), sizeof packet};
    // The interface and source address pick the way out: the system routes the
    // limited broadcast by the interface given here, not by the routing table.
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = int(via.index);
    std::memcpy(&info.ipi_spec_dst, via.address.data(), 4);
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
    const ssize_t sent = ::sendmsg(int(m_fd), &message, 0);
    if (sent == ssize_t(sizeof packet))
        return true;
    error = sent < 0 ? std::strerror(errno) : "the datagram went out incomplete";
    return false;
}

std::int64_t ProbeSocket::Receive(DISCOVERY_PACKET& row, unsigned& arrivalInterface)
{
    arrivalInterface = 0;
    // One byte more than a datagram, so that a longer one is never taken for 20 bytes.
    unsigned char buffer[sizeof(DISCOVERY_PACKET) + 1];
    iovec data{buffer, sizeof buffer};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    // MSG_TRUNC: the result is the datagram's true size, whatever fitted.
    const ssize_t size = ::recvmsg(int(m_fd), &message, MSG_TRUNC);
    if (size < 0)
        return -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            arrivalInterface = unsigned(info.ipi_ifindex);
        }
    }
    if (size == ssize_t(sizeof row))
        std::memcpy(&row, buffer, sizeof row);
    return size;
}

bool ProbeSocket::WaitReadable(int milliseconds)
{
    pollfd waiting{int(m_fd), POLLIN, 0};
    return ::poll(&waiting, 1, milliseconds) > 0 && (waiting.revents & POLLIN) != 0;
}
