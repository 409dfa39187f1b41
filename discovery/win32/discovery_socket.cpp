#include "discovery_socket.h"

#include "interface_list.h"
#include "probe_interfaces.h"

#include <cstring>

namespace {

// Datagram sockets report these for one datagram (an oversized one, or an ICMP
// "port unreachable" answering an earlier send); the next datagram is still there.
bool IsErrorOfOneDatagram(int error)
{
    return error == WSAEMSGSIZE || error == WSAECONNRESET;
}

} // namespace

CDiscoverySocket::CDiscoverySocket() : m_scratch(65536) {}

CDiscoverySocket::~CDiscoverySocket()
{
    Close();
}

bool CDiscoverySocket::Create(HWND window, std::uint32_t localAddress)
{
    m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (m_socket == INVALID_SOCKET)
        return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(localAddress);
    local.sin_port = 0;
    // All six kinds, as asked of every asynchronous socket; only reads are acted on.
    const long events = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR ||
        ::WSAAsyncSelect(m_socket, window, WM_DISCOVERY_SOCKET_EVENT, events) == SOCKET_ERROR) {
        Close();
        return false;
    }
    // A failure here shows as failing sends, which are silent anyway.
    const BOOL allow = TRUE;
    ::setsockopt(m_socket, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&allow), sizeof allow);
    m_localAddress = localAddress;
    // Each datagram's arrival interface, so that an address change can leave where its
    // device answered. Without it, reads fall back to recvfrom and tell no interface.
    const DWORD one = 1;
    GUID recvMsgId = WSAID_WSARECVMSG;
    DWORD returned = 0;
    if (::setsockopt(m_socket, IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&one), sizeof one) != 0 ||
        ::WSAIoctl(m_socket, SIO_GET_EXTENSION_FUNCTION_POINTER, &recvMsgId, sizeof recvMsgId, &m_recvMsg,
                   sizeof m_recvMsg, &returned, nullptr, nullptr) != 0)
        m_recvMsg = nullptr;
    return true;
}

std::uint16_t CDiscoverySocket::LocalPort() const
{
    sockaddr_in local{};
    int size = sizeof local;
    if (!IsCreated() || ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &size) == SOCKET_ERROR)
        return 0;
    return ntohs(local.sin_port);
}

bool CDiscoverySocket::SendTo(const DISCOVERY_PACKET& packet)
{
    if (!IsCreated())
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    to.sin_port = htons(DISCOVERY_PORT);
    return ::sendto(m_socket, reinterpret_cast<const char*>(&packet), sizeof packet, 0,
                    reinterpret_cast<const sockaddr*>(&to), sizeof to) == int(sizeof packet);
}

bool CDiscoverySocket::SendOn(const DISCOVERY_PACKET& packet, unsigned interfaceIndex)
{
    // The outgoing interface for this one send (the option takes the index in
    // network order), then back to the system's choice.
    const DWORD index = htonl(interfaceIndex);
    if (::setsockopt(m_socket, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&index), sizeof index) != 0)
        return false;
    const bool sent = SendTo(packet);
    const DWORD any = 0;
    ::setsockopt(m_socket, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&any), sizeof any);
    return sent;
}

int CDiscoverySocket::SendOnEveryInterface(const DISCOVERY_PACKET& packet)
{
    if (!IsCreated())
        return 0;
    std::vector<NetworkInterface> listed;
    std::string error;
    std::vector<NetworkInterface> chosen;
    if (m_localAddress == INADDR_ANY && ListNetworkInterfaces(listed, error))
        chosen = ChooseProbeInterfaces(listed);
    if (chosen.empty()) {
        SendTo(packet);
        return 1;
    }
    int handed = 0;
    for (const NetworkInterface& via : chosen)
        handed += SendOn(packet, via.index) ? 1 : 0;
    return handed;
}

void CDiscoverySocket::SendVia(const DISCOVERY_PACKET& packet, unsigned interfaceIndex)
{
    if (!IsCreated())
        return;
    std::vector<NetworkInterface> listed;
    std::string error;
    const NetworkInterface* via = nullptr;
    if (interfaceIndex != 0 && m_localAddress == INADDR_ANY && ListNetworkInterfaces(listed, error))
        via = FindInterface(listed, interfaceIndex);
    if (via == nullptr || !WhyNotProbed(*via).empty() || !SendOn(packet, interfaceIndex))
        SendTo(packet);
}

std::int64_t CDiscoverySocket::ReceiveFrom(DISCOVERY_PACKET& row, unsigned& arrivalInterface)
{
    arrivalInterface = 0;
    if (!IsCreated())
        return -1;
    // Read into the scratch buffer: a 20-byte buffer would cut a longer datagram
    // down and hide its size.
    int size = SOCKET_ERROR;
    if (m_recvMsg != nullptr) {
        WSABUF data{ULONG(m_scratch.size()), m_scratch.data()};
        char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
        WSAMSG message{};
        message.lpBuffers = &data;
        message.dwBufferCount = 1;
        message.Control = {sizeof control, control};
        DWORD received = 0;
        if (m_recvMsg(m_socket, &message, &received, nullptr, nullptr) == 0) {
            size = int(received);
            for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message); c != nullptr; c = WSA_CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    IN_PKTINFO info;
                    std::memcpy(&info, WSA_CMSG_DATA(c), sizeof info);
                    arrivalInterface = info.ipi_ifindex;
                }
            }
        }
    } else {
        size = ::recvfrom(m_socket, m_scratch.data(), int(m_scratch.size()), 0, nullptr, nullptr);
    }
    if (size == SOCKET_ERROR)
        return ::WSAGetLastError() == WSAEMSGSIZE ? std::int64_t(m_scratch.size()) + 1 : -1;
    if (std::size_t(size) == sizeof row)
        std::memcpy(&row, m_scratch.data(), sizeof row);
    return size;
}

int CDiscoverySocket::DiscardPending()
{
    // Bounded, so a flood cannot hold the user interface here.
    constexpr int limit = 100000;
    int discarded = 0;
    while (IsCreated() && discarded < limit) {
        const int size = ::recvfrom(m_socket, m_scratch.data(), int(m_scratch.size()), 0, nullptr, nullptr);
        if (size == SOCKET_ERROR) {
            const int error = ::WSAGetLastError();
            if (!IsErrorOfOneDatagram(error))
                break;
            if (error == WSAECONNRESET)
                continue;   // a report about an earlier send, not a datagram
        }
        ++discarded;
    }
    return discarded;
}

void CDiscoverySocket::Close()
{
    if (m_socket == INVALID_SOCKET)
        return;
    ::closesocket(m_socket);
    m_socket = INVALID_SOCKET;
}

void CDiscoverySocket::OnSocketEvent(LPARAM event)
{
    // Notifications already posted when the socket was closed may still arrive.
    if (WSAGETSELECTEVENT(event) == FD_READ && IsCreated() && m_pOwner != nullptr)
        ::SendMessageW(m_pOwner, WM_DISCOVERY_RECEIVE, 0, 0);
}
