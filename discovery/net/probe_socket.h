#pragma once
// The program's datagram sockets, the one place that opens, binds, sends on and
// reads them, for both windows and corvane-scan. A probe goes out of every interface
// that can carry it, a set command out of the interface its device answered on
// (and nowhere when that interface is gone), and every datagram read tells its true
// size and the interface it came in by.
//
// Linux: one socket on every address; IP_PKTINFO picks the way out of each send and
// tells the arrival interface. Windows: one socket per usable interface, bound to
// that interface's address (see docs/corvane.md for the documented ground).

#include "discovery_packet.h"
#include "probe_interfaces.h"

#include <cstdint>
#include <string>
#include <vector>

// A descriptor, or a Windows socket handle.
using SocketHandle = std::intptr_t;

// A front end's readiness notifier over the layer's sockets: told of each socket
// when it opens and before it closes.
class SocketWatcher {
public:
    virtual void Watch(SocketHandle socket) = 0;
    virtual void Forget(SocketHandle socket) = 0;
    // Told of every read, which re-enables a report that stays off until the next read.
    virtual void Reading() {}

protected:
    ~SocketWatcher() = default;
};

// Where the sockets listen and send. The defaults are the real network; tests
// point them at a simulator on loopback.
struct ProbeEndpoints {
    // All zero: every interface. Any other address: one socket bound there, whose
    // datagrams the system routes (a test set-up).
    IpOctets localAddress{};
    std::uint16_t localPort = 0;
    IpOctets destination{255, 255, 255, 255};
    std::uint16_t destinationPort = DISCOVERY_PORT;
};

class ProbeSocket {
public:
    explicit ProbeSocket(ProbeEndpoints endpoints = {}, SocketWatcher* watcher = nullptr);
    ~ProbeSocket();
    ProbeSocket(const ProbeSocket&) = delete;
    ProbeSocket& operator=(const ProbeSocket&) = delete;

    // False with a reason in `error` when no socket can be made or bound.
    bool Open(std::string& error);
    bool IsOpen() const { return m_opened; }
    void Close();
    // The port the system gave the first socket, in host order; 0 when none is open.
    std::uint16_t LocalPort() const;

    // Sends one datagram out of `via` with its address as the source; false with a reason.
    bool SendVia(const DISCOVERY_PACKET& packet, const NetworkInterface& via, std::string& error);
    // Sends the datagram once out of every interface a probe goes out of, read afresh;
    // when none can carry it, or in a test set-up, lets the system route it. Returns
    // how many datagrams were handed to the system.
    int SendOnEveryInterface(const DISCOVERY_PACKET& packet);
    // Sends the datagram out of the interface with this index, read afresh. Nothing
    // is sent when that interface is gone, down or without an address: a set command
    // never leaves by another one. In a test set-up the system routes it. True when
    // the datagram was handed to the system.
    bool SendOnInterface(const DISCOVERY_PACKET& packet, unsigned interfaceIndex);

    // Reads the next waiting datagram, taking the sockets in turn, without waiting;
    // returns its true size (the row is filled only at exactly 20 bytes) or -1 when
    // none waits. `arrivalInterface` is the index of the interface it came in by,
    // 0 if unknown.
    std::int64_t Receive(DISCOVERY_PACKET& row, unsigned& arrivalInterface);
    // Reads and drops at most `limit` waiting datagrams; returns how many it dropped.
    int DiscardPending(int limit);
    // Waits up to `milliseconds` for a datagram on any socket; true when one waits.
    bool WaitReadable(int milliseconds);

    std::vector<SocketHandle> Handles() const;

private:
    struct Bound {
        SocketHandle handle;
        unsigned interfaceIndex;   // the interface it is bound to; 0: every one, or not known
        IpOctets address;
    };

    bool IsTestSetUp() const;
    // Opens a socket bound to `address`; false with a reason.
    bool OpenBound(const IpOctets& address, unsigned interfaceIndex, std::uint16_t port, std::string& error);
    void CloseBound(std::size_t which);
    // Windows: makes the sockets match the interfaces chosen (none on Linux).
    void Follow(const std::vector<NetworkInterface>& chosen);
    const Bound* SocketFor(const NetworkInterface& via);
    bool SendFrom(const Bound& socket, const DISCOVERY_PACKET& packet, const NetworkInterface* via,
                  std::string& error);

    ProbeEndpoints m_endpoints;
    SocketWatcher* m_watcher;
    std::vector<Bound> m_sockets;
    std::size_t m_nextRead = 0;   // reads take the sockets in turn: one flooded LAN starves no other
    bool m_opened = false;
    bool m_started = false;       // Windows: this object started Windows Sockets
    std::vector<char> m_scratch;  // room for the largest datagram
};
