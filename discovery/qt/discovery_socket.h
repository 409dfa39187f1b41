#pragma once
// The program's one datagram socket: bound to a system-chosen port, broadcasting
// probes and set commands to port 36, reporting read readiness to its owner.
// A probe goes out of every interface that can carry it; a set command out of the
// interface on which its device answered.

#include "discovery_packet.h"
#include "probe_interfaces.h"

#include <QHostAddress>
#include <QUdpSocket>


// Whoever drains the socket when datagrams wait.
class CDiscoveryOwner {
public:
    virtual int ReceiveReplies() = 0;

protected:
    ~CDiscoveryOwner() = default;
};

// Where the socket listens and sends. The defaults are the real network; tests
// point them at a simulator on loopback.
struct DiscoveryEndpoints {
    QHostAddress localAddress = QHostAddress(QHostAddress::AnyIPv4);
    quint16 localPort = 0;
    QHostAddress destination = QHostAddress(QHostAddress::Broadcast);
    quint16 destinationPort = DISCOVERY_PORT;
};

class CDiscoverySocket : public QUdpSocket {
    Q_OBJECT
public:
    explicit CDiscoverySocket(const DiscoveryEndpoints& endpoints = {}, QObject* parent = nullptr);

    // Binds and allows broadcasts; false when the socket cannot be bound.
    bool Create();
    bool IsCreated() const { return m_bCreated; }
    // Sends one 20-byte datagram, letting the system choose the way out; failure is silent.
    void SendTo(const DISCOVERY_PACKET& packet);
    // Sends the datagram once out of every interface a probe goes out of, read afresh;
    // with none, or to a destination other than the broadcast, as SendTo. Returns
    // how many datagrams were handed to the system.
    int SendOnEveryInterface(const DISCOVERY_PACKET& packet);
    // Sends the datagram out of the interface with this index; as SendTo when the
    // index is 0 or the interface is gone. Failure is silent.
    void SendVia(const DISCOVERY_PACKET& packet, unsigned interfaceIndex);
    // Reads the next waiting datagram with one call and returns its true size, or -1
    // when none waits. Only a datagram of exactly 20 bytes is stored in `row`; any other
    // is read and dropped, never cut down to 20. `arrivalInterface` is the index of the
    // interface it came in by, 0 when not known.
    qint64 ReceiveFrom(DISCOVERY_PACKET& row, unsigned& arrivalInterface);
    // Reads and drops whatever waits; returns how many datagrams that was.
    int DiscardPending();
    void Close();

    CDiscoveryOwner* m_pOwner = nullptr;

private slots:
    void OnReceive();

private:
    bool SendOn(const DISCOVERY_PACKET& packet, const NetworkInterface& via);
    bool IsBroadcastDestination() const;

    DiscoveryEndpoints m_endpoints;
    bool m_bCreated = false;
};
