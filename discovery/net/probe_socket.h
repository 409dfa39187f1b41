#pragma once
// The program's datagram sockets, the one place that opens, binds, sends on and
// reads them, for both windows and corvane-scan. A probe goes out of every interface
// that can carry it, a set command out of the interface its device answered on
// (and nowhere when that interface is gone), and every datagram read tells its true
// size and the interface it came in by.
//
// The interfaces are read from a source at every send (the system's by default), and
// how a datagram leaves by one of them is a policy chosen at construction: the
// platform's by default, one socket with IP_PKTINFO on Linux, one socket per usable
// interface on Windows (see docs/corvane.md for the documented ground).

#include "discovery_packet.h"
#include "interface_list.h"
#include "probe_interfaces.h"
#include "probe_network.h"

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

// How a datagram is made to leave by one interface.
enum class SendPolicy {
    // One socket on every address; each send names its interface and source address
    // (Linux: IP_PKTINFO), and each read tells the arrival interface.
    OneSocketNamesTheInterface,
    // One socket per usable interface, bound to its address: the binding is the way
    // out, and the socket a reply comes in on tells its interface (Windows).
    SocketPerInterface,
};
// The policy this platform's sockets need.
SendPolicy PlatformSendPolicy();

// Where the sockets listen and send, and what tells them the interfaces. The defaults
// are the real network: the system's interfaces, the platform's policy.
struct ProbeEndpoints {
    // The one socket's address under OneSocketNamesTheInterface (all zero: every one).
    IpOctets localAddress{};
    // The local port of every socket; 0: the system chooses.
    std::uint16_t localPort = 0;
    IpOctets destination{255, 255, 255, 255};
    std::uint16_t destinationPort = DISCOVERY_PORT;
    // Null: the system's interfaces, read afresh at each send.
    InterfaceSource* interfaces = nullptr;
    SendPolicy policy = PlatformSendPolicy();
};

class ProbeSocket final : public ProbeNetwork {
public:
    explicit ProbeSocket(ProbeEndpoints endpoints = {}, SocketWatcher* watcher = nullptr);
    ~ProbeSocket();
    ProbeSocket(const ProbeSocket&) = delete;
    ProbeSocket& operator=(const ProbeSocket&) = delete;

    // False with a reason in `error` when no socket can be made or bound. Under
    // SocketPerInterface, opens the sockets of the interfaces usable now (failing only
    // when none of them got one); none is needed while no interface is usable, and
    // later sends add and drop them. On Windows the program has started Windows
    // Sockets (WSAStartup) before, and ends it after the last socket is closed.
    bool Open(std::string& error) override;
    bool IsOpen() const override { return m_opened; }
    void Close() override;
    // The port the system gave the first socket, in host order; 0 when none is open.
    std::uint16_t LocalPort() const;

    // The interfaces as the source lists them now.
    bool ListInterfaces(std::vector<NetworkInterface>& listed, std::string& error) override;
    // Sends the datagram once out of every interface a probe can go out of now, as
    // the source lists them at this call; nothing at all when none can carry it.
    // Returns how many datagrams were handed to the system. When the source cannot
    // give the list, nothing is sent, every socket stays, and the result is
    // INTERFACES_NOT_LISTED: a failed listing is not an empty network.
    int SendOnEveryInterface(const DISCOVERY_PACKET& packet) override;
    // Sends the datagram out of the interface with this index, as listed now. Nothing
    // is sent when that interface is gone, down or without an address: a set command
    // never leaves by another one. True when the datagram was handed to the system.
    bool SendOnInterface(const DISCOVERY_PACKET& packet, unsigned interfaceIndex) override;

    // Reads the next waiting datagram, taking the sockets in turn, without waiting;
    // returns its true size (the row is filled only at exactly 20 bytes) or -1 when
    // none waits. `arrivalInterface` is the index of the interface it came in by,
    // 0 if unknown.
    std::int64_t Receive(DISCOVERY_PACKET& row, unsigned& arrivalInterface) override;
    // Reads and drops at most `limit` waiting datagrams; returns how many it dropped.
    int DiscardPending(int limit) override;
    // Waits up to `milliseconds` for a datagram on any socket; true when one waits.
    bool WaitReadable(int milliseconds) override;

    std::vector<SocketHandle> Handles() const;

private:
    struct Bound {
        SocketHandle handle;
        unsigned interfaceIndex;   // SocketPerInterface: the interface it is bound to; else 0
        IpOctets address;
    };

    bool PerInterface() const { return m_endpoints.policy == SendPolicy::SocketPerInterface; }
    // Sends one datagram out of `via` with its address as the source; false with a reason.
    bool SendVia(const DISCOVERY_PACKET& packet, const NetworkInterface& via, std::string& error);
    // Opens a socket bound to `address`; false with a reason.
    bool OpenBound(const IpOctets& address, unsigned interfaceIndex, std::uint16_t port, std::string& error);
    void CloseBound(std::size_t which);
    // SocketPerInterface: makes the sockets match the interfaces chosen; a socket that
    // cannot be made leaves its reason in `error`, and the others are made all the same.
    void Follow(const std::vector<NetworkInterface>& chosen, std::string& error);
    const Bound* SocketFor(const NetworkInterface& via);
    bool SendFrom(const Bound& socket, const DISCOVERY_PACKET& packet, const NetworkInterface* via,
                  std::string& error);

    ProbeEndpoints m_endpoints;
    SocketWatcher* m_watcher;
    std::vector<Bound> m_sockets;
    std::size_t m_nextRead = 0;   // reads take the sockets in turn: one flooded LAN starves no other
    bool m_opened = false;
    std::vector<char> m_scratch;  // room for the largest datagram
};
