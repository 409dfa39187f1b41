#pragma once
// The program's one datagram socket: bound to a system-chosen port, broadcasting
// probes and set commands to port 36, reporting read readiness to its owner.

#include "discovery_packet.h"

#include <QHostAddress>
#include <QUdpSocket>

#include <vector>

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
    // Sends one 20-byte datagram; failure is silent.
    void SendTo(const DISCOVERY_PACKET& packet);
    // Reads the next waiting datagram and returns its true size, or -1 when none waits.
    // Only a datagram of exactly 20 bytes is stored in `row`; any other is read and
    // dropped, never cut down to 20.
    qint64 ReceiveFrom(DISCOVERY_PACKET& row);
    // Reads and drops whatever waits; returns how many datagrams that was.
    int DiscardPending();
    void Close();

    CDiscoveryOwner* m_pOwner = nullptr;

private slots:
    void OnReceive();

private:
    DiscoveryEndpoints m_endpoints;
    bool m_bCreated = false;
    std::vector<char> m_receiveBuffer = std::vector<char>(65536);   // beyond any UDP payload
};
