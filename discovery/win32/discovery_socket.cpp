#include "discovery_socket.h"

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

void CDiscoverySocket::SendTo(const DISCOVERY_PACKET& packet)
{
    if (!IsCreated())
        return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    to.sin_port = htons(DISCOVERY_PORT);
    ::sendto(m_socket, reinterpret_cast<const char*>(&packet), sizeof packet, 0,
             reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

std::int64_t CDiscoverySocket::ReceiveFrom(DISCOVERY_PACKET& row)
{
    if (!IsCreated())
        return -1;
    // Read into the scratch buffer: a 20-byte buffer would cut a longer datagram
    // down and hide its size.
    const int size = ::recvfrom(m_socket, m_scratch.data(), int(m_scratch.size()), 0, nullptr, nullptr);
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
