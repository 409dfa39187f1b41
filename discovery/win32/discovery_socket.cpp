#include "discovery_socket.h"

CDiscoverySocket::CDiscoverySocket(const ProbeEndpoints& endpoints)
    : m_sockets(endpoints, static_cast<SocketWatcher*>(this))
{
}

CDiscoverySocket::~CDiscoverySocket()
{
    m_sockets.Close();
}

void CDiscoverySocket::Watch(SocketHandle socket)
{
    // All six kinds, as asked of every asynchronous socket; only reads are acted on.
    const long events = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
    ::WSAAsyncSelect(static_cast<SOCKET>(socket), m_pOwner, WM_DISCOVERY_SOCKET_EVENT, events);
}

void CDiscoverySocket::Forget(SocketHandle)
{
    // Closing the socket ends its notifications; any already posted are taken for a
    // drain that finds nothing.
}

void CDiscoverySocket::OnSocketEvent(LPARAM event)
{
    if (WSAGETSELECTEVENT(event) != FD_READ)
        return;
    // The read below reads what those already queued announce.
    TakeQueuedEvents();
    // Notifications already posted when the sockets were closed may still arrive.
    if (m_sockets.IsOpen() && m_pOwner != nullptr)
        ::SendMessageW(m_pOwner, WM_DISCOVERY_RECEIVE, 0, 0);
}

void CDiscoverySocket::TakeQueuedEvents()
{
    MSG queued;
    while (::PeekMessageW(&queued, m_pOwner, WM_DISCOVERY_SOCKET_EVENT, WM_DISCOVERY_SOCKET_EVENT, PM_REMOVE)) {
    }
}
