#pragma once
// The program's one datagram socket over Windows Sockets 1.1: bound to a
// system-chosen port, broadcasting to port 36, announcing waiting datagrams to
// its owner window as WM_DISCOVERY_RECEIVE. A probe goes out of every interface
// that can carry it, a set command out of the interface its device answered on.

#include "discovery_packet.h"
#include "win32_headers.h"

#include <mswsock.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <vector>

constexpr UINT WM_DISCOVERY_RECEIVE = WM_USER + 10;
// Where WSAAsyncSelect posts the socket's events; turned into WM_DISCOVERY_RECEIVE.
constexpr UINT WM_DISCOVERY_SOCKET_EVENT = WM_USER + 11;

class CDiscoverySocket {
public:
    CDiscoverySocket();
    ~CDiscoverySocket();
    CDiscoverySocket(const CDiscoverySocket&) = delete;
    CDiscoverySocket& operator=(const CDiscoverySocket&) = delete;

    // Makes and binds the socket (port 0, the given local address) and routes its
    // events to `window`; false when either fails. Broadcasts are allowed afterwards.
    bool Create(HWND window, std::uint32_t localAddress = INADDR_ANY);
    bool IsCreated() const { return m_socket != INVALID_SOCKET; }
    // The port the system chose, in host order; 0 when not created.
    std::uint16_t LocalPort() const;
    // Sends one 20-byte datagram to 255.255.255.255 port 36, leaving the way out to
    // the system; true when the whole datagram was handed to the system.
    bool SendTo(const DISCOVERY_PACKET& packet);
    // Sends the datagram once out of every interface a probe goes out of, read afresh;
    // as SendTo when there is none or the socket is bound to one address. Returns
    // how many datagrams were handed to the system.
    int SendOnEveryInterface(const DISCOVERY_PACKET& packet);
    // Sends the datagram out of the interface with this index; as SendTo when the
    // index is 0 or the interface is gone. Failure is silent.
    void SendVia(const DISCOVERY_PACKET& packet, unsigned interfaceIndex);
    // Reads the next waiting datagram and returns its true size, or -1 when none waits.
    // Only a datagram of exactly 20 bytes is stored in `row`; any other is read and
    // dropped, never cut down to 20. `arrivalInterface` is the index of the interface
    // it came in by, 0 when not known.
    std::int64_t ReceiveFrom(DISCOVERY_PACKET& row, unsigned& arrivalInterface);
    // Reads and drops whatever waits; returns how many datagrams that was.
    int DiscardPending();
    void Close();

    // The owner window's handler for WM_DISCOVERY_SOCKET_EVENT.
    void OnSocketEvent(LPARAM event);

    HWND m_pOwner = nullptr;

private:
    bool SendOn(const DISCOVERY_PACKET& packet, unsigned interfaceIndex);

    SOCKET m_socket = INVALID_SOCKET;
    std::uint32_t m_localAddress = INADDR_ANY;
    LPFN_WSARECVMSG m_recvMsg = nullptr;   // tells the arrival interface; null: recvfrom
    // Large enough for any UDP datagram, so a read always learns the true size.
    std::vector<char> m_scratch;
};
