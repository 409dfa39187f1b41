#pragma once
// The program's datagram sockets as the Win32 window sees them: the socket layer's
// sockets, each announcing waiting datagrams to the window through WSAAsyncSelect,
// turned into WM_DISCOVERY_RECEIVE for the owner.

#include "probe_socket.h"
#include "win32_headers.h"

constexpr UINT WM_DISCOVERY_RECEIVE = WM_USER + 10;
// Where WSAAsyncSelect posts the sockets' events; turned into WM_DISCOVERY_RECEIVE.
constexpr UINT WM_DISCOVERY_SOCKET_EVENT = WM_USER + 11;

class CDiscoverySocket : private SocketWatcher {
public:
    explicit CDiscoverySocket(const ProbeEndpoints& endpoints = {});
    ~CDiscoverySocket();
    CDiscoverySocket(const CDiscoverySocket&) = delete;
    CDiscoverySocket& operator=(const CDiscoverySocket&) = delete;

    ProbeSocket& Sockets() { return m_sockets; }

    // The window's handler for WM_DISCOVERY_SOCKET_EVENT: a waiting datagram is
    // announced to the owner, which reads.
    void OnSocketEvent(LPARAM event);
    // Removes the sockets' events already queued for the window. Every recvfrom that
    // leaves a datagram waiting posts another one (the notification is level-triggered),
    // and posted messages are handed out before input and timers: a reader that goes on
    // by itself takes them away, so that under a flood they cannot keep keys and timers
    // from the window.
    void TakeQueuedEvents();

    // The window the sockets' events go to and that reads; set before the sockets are opened.
    HWND m_pOwner = nullptr;

private:
    void Watch(SocketHandle socket) override;
    void Forget(SocketHandle socket) override;

    ProbeSocket m_sockets;
};
