#include "discovery_socket.h"

#include <string>

CDiscoverySocket::~CDiscoverySocket()
{
    Close();
}

bool CDiscoverySocket::Create(HWND window, std::uint32_t localAddress)
{
    m_window = window;
    ProbeEndpoints endpoints;
    endpoints.localAddress = {std::uint8_t(localAddress >> 24), std::uint8_t(localAddress >> 16),
                              std::uint8_t(localAddress >> 8), std::uint8_t(localAddress)};
    m_sockets = std::make_unique<ProbeSocket>(endpoints, static_cast<SocketWatcher*>(this));
    std::string error;
    if (!m_sockets->Open(error)) {
        m_sockets.reset();
        return false;
    }
    return true;
}

void CDiscoverySocket::Watch(SocketHandle socket)
{
    // All six kinds, as asked of every asynchronous socket; only reads are acted on.
    const long events = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
    ::WSAAsyncSelect(static_cast<SOCKET>(socket), m_window, WM_DISCOVERY_SOCKET_EVENT, events);
}

void CDiscoverySocket::Forget(SocketHandle)
{
    // Closing the socket ends its notifications; any already posted are taken for a
    // drain that finds nothing.
}

std::uint16_t CDiscoverySocket::LocalPort() const
{
    return IsCreated() ? m_sockets->LocalPort() : 0;
}

int CDiscoverySocket::SendOnEveryInterface(const DISCOVERY_PACKET& packet)
{
    return IsCreated() ? m_sockets->SendOnEveryInterface(packet) : 0;
}

void CDiscoverySocket::SendVia(const DISCOVERY_PACKET& packet, unsigned interfaceIndex)
{
    if (IsCreated())
        m_sockets->SendOnInterface(packet, interfaceIndex);
}

std::int64_t CDiscoverySocket::ReceiveFrom(DISCOVERY_PACKET& row, unsigned& arrivalInterface)
{
    arrivalInterface = 0;
    return IsCreated() ? m_sockets->Receive(row, arrivalInterface) : -1;
}

int CDiscoverySocket::DiscardPending(int limit)
{
    return IsCreated() ? m_sockets->DiscardPending(limit) : 0;
}

void CDiscoverySocket::Close()
{
    m_sockets.reset();
}

void CDiscoverySocket::OnSocketEvent(LPARAM event)
{
    // Notifications already posted when a socket was closed may still arrive.
    if (WSAGETSELECTEVENT(event) == FD_READ && IsCreated() && m_pOwner != nullptr)
        ::SendMessageW(m_pOwner, WM_DISCOVERY_RECEIVE, 0, 0);
}
