#pragma once
// The program's datagram sockets as the window sees them: the socket layer's
// sockets, each announcing waiting datagrams to the owner window through
// WSAAsyncSelect, turned into WM_DISCOVERY_RECEIVE. A probe goes out of every
// interface that can carry it, a set command out of the interface its device
// answered on.

#include "discovery_packet.h"
#include "probe_socket.h"
#include "win32_headers.h"

#include <cstdint>
#include <memory>

constexpr UINT WM_DISCOVERY_RECEIVE = WM_USER + 10;
// Where WSAAsyncSelect posts the sockets' events; turned into WM_DISCOVERY_RECEIVE.
constexpr UINT WM_DISCOVERY_SOCKET_EVENT = WM_USER + 11;

class CDiscoverySocket : private SocketWatcher {
public:
    CDiscoverySocket() = default;
    ~CDiscoverySocket();
    CDiscoverySocket(const CDiscoverySocket&) = delete;
    CDiscoverySocket& operator=(const CDiscoverySocket&) = delete;

    // Makes and binds the sockets (port 0; every interface, or the one local address
    // given, in host order) and routes their events to `window`; false when no socket
    // can be made. Broadcasts are allowed.
    bool Create(HWND window, std::uint32_t localAddress = INADDR_ANY);
    bool IsCreated() const { return m_sockets != nullptr && m_sockets->IsOpen(); }
    // The port the system chose for the first socket, in host order; 0 when not created.
    std::uint16_t LocalPort() const;
    // Sends the datagram once out of every interface a probe goes out of, read afresh.
    // Returns how many datagrams were handed to the system.
    int SendOnEveryInterface(const DISCOVERY_PACKET& packet);
    // Sends the datagram out of the interface with this index; nothing when it is
    // gone, down or without an address. Failure is silent.
    void SendVia(const DISCOVERY_PACKET& packet, unsigned interfaceIndex);
    // Reads the next waiting datagram and returns its true size, or -1 when none waits.
    // Only a datagram of exactly 20 bytes is stored in `row`; any other is read and
    // dropped, never cut down to 20. `arrivalInterface` is the index of the interface
    // it came in by, 0 when not known.
    std::int64_t ReceiveFrom(DISCOVERY_PACKET& row, unsigned& arrivalInterface);
    // Reads and drops what waits, at most `limit` datagrams; returns how many it dropped.
    int DiscardPending(int limit);
    void Close();

    // The owner window's handler for WM_DISCOVERY_SOCKET_EVENT.
    void OnSocketEvent(LPARAM event);

    HWND m_pOwner = nullptr;

private:
    void Watch(SocketHandle socket) override;
    void Forget(SocketHandle socket) override;

    HWND m_window = nullptr;
    std::unique_ptr<ProbeSocket> m_sockets;
};
