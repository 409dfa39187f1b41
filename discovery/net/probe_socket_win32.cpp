#include "probe_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include <cstring>

namespace {

std::string WinsockError(const char* what)
{
    return std::string(what) + ": Windows Sockets error " + std::to_string(::WSAGetLastError());
}

SOCKET AsSocket(std::intptr_t handle)
{
    return static_cast<SOCKET>(handle);
}

} // namespace

struct ProbeSocket::Platform {
    bool started = false;
    LPFN_WSARECVMSG recvMsg = nullptr;
};

ProbeSocket::~ProbeSocket()
{
    if (m_fd >= 0)
        ::closesocket(AsSocket(m_fd));
    if (m_platform != nullptr && m_platform->started)
        ::WSACleanup();
    delete m_platform;
}

bool ProbeSocket::Open(std::string& error)
{
    m_platform = new Platform;
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        error = "cannot start Windows Sockets";
        return false;
    }
    m_platform->started = true;
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        error = WinsockError("cannot make a UDP socket");
        return false;
    }
    m_fd = std::intptr_t(s);
    const DWORD one = 1;
    u_long nonBlocking = 1;
    // Replies may come by broadcast, from any subnet: one socket on every interface
    // takes them all, and the arrival interface tells where each device answered.
    if (::setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&one), sizeof one) != 0 ||
        ::setsockopt(s, IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&one), sizeof one) != 0 ||
        ::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        error = WinsockError("cannot set up the UDP socket");
        return false;
    }
    GUID recvMsgId = WSAID_WSARECVMSG;
    DWORD returned = 0;
    if (::WSAIoctl(s, SIO_GET_EXTENSION_FUNCTION_POINTER, &recvMsgId, sizeof recvMsgId, &m_platform->recvMsg,
                   sizeof m_platform->recvMsg, &returned, nullptr, nullptr) != 0) {
        error = WinsockError("cannot find WSARecvMsg");
        return false;
    }
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        error = WinsockError("cannot bind the UDP socket");
        return false;
    }
    return true;
}

std::uint16_t ProbeSocket::LocalPort() const
{
    sockaddr_in bound{};
    int length = sizeof bound;
    if (m_fd < 0 || ::getsockname(AsSocket(m_fd), reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.sin_port);
}

bool ProbeSocket::SendVia(const DISCOVERY_PACKET& packet, const NetworkInterface& via, std::string& error)
{
    const SOCKET s = AsSocket(m_fd);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_destination.port);
    std::memcpy(&to.sin_addr, m_destination.address.data(), 4);
    // The outgoing interface for this one send (the option takes the index in
    // network order), then back to the system's choice.
    const DWORD index = htonl(via.index);
    if (::setsockopt(s, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&index), sizeof index) != 0) {
        error = WinsockError("cannot choose the interface");
        return false;
    }
    const int sent = ::sendto(s, reinterpret_cast<const char*>(&packet), sizeof packet, 0,
                              reinterpret_cast<const sockaddr*>(&to), sizeof to);
    const int sendError = ::WSAGetLastError();
    const DWORD any = 0;
    ::setsockopt(s, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&any), sizeof any);
    if (sent == int(sizeof packet))
        return true;
    error = sent < 0 ? "Windows Sockets error " + std::to_string(sendError) : "the datagram went out incomplete";
    return false;
}

std::int64_t ProbeSocket::Receive(DISCOVERY_PACKET& row, unsigned& arrivalInterface)
{
    arrivalInterface = 0;
    // One byte more than a datagram, so that a longer one is never taken for 20 bytes.
    char buffer[sizeof(DISCOVERY_PACKET) + 1];
    WSABUF data{sizeof buffer, buffer};
    char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    sockaddr_in from{};
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(&from);
    message.namelen = sizeof from;
    message.lpBuffers = &data;
    message.dwBufferCount = 1;
    message.Control = {sizeof control, control};
    DWORD size = 0;
    if (m_platform->recvMsg(AsSocket(m_fd), &message, &size, nullptr, nullptr) != 0) {
        if (::WSAGetLastError() != WSAEMSGSIZE)
            return -1;
        size = sizeof buffer;   // longer than a reply, whatever its true size
    }
    for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message); c != nullptr; c = WSA_CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            IN_PKTINFO info;
            std::memcpy(&info, WSA_CMSG_DATA(c), sizeof info);
            arrivalInterface = info.ipi_ifindex;
        }
    }
    if (size == sizeof row)
        std::memcpy(&row, buffer, sizeof row);
    return size;
}

bool ProbeSocket::WaitReadable(int milliseconds)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(AsSocket(m_fd), &readable);
    timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return ::select(0, &readable, nullptr, nullptr, &wait) > 0;
}
