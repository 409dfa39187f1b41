#pragma once
// The program's datagram sockets as the window sees them: the socket layer's
// sockets, each watched by a QSocketNotifier that reports waiting datagrams to the
// owner. A probe goes out of every interface that can carry it, a set command out
// of the interface its device answered on (and nowhere when that one is gone).

#include "discovery_packet.h"
#include "probe_socket.h"

#include <QHostAddress>
#include <QObject>

#include <map>
#include <memory>

class QSocketNotifier;

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

class CDiscoverySocket : public QObject, private SocketWatcher {
    Q_OBJECT
public:
    explicit CDiscoverySocket(const DiscoveryEndpoints& endpoints = {}, QObject* parent = nullptr);
    ~CDiscoverySocket() override;

    // Binds and allows broadcasts; false when no socket can be made or bound.
    bool Create();
    bool IsCreated() const { return m_sockets.IsOpen(); }
    // The port the system chose for the first socket; 0 when not created.
    quint16 LocalPort() const { return m_sockets.LocalPort(); }
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
    qint64 ReceiveFrom(DISCOVERY_PACKET& row, unsigned& arrivalInterface);
    // Reads and drops what waits, at most `limit` datagrams; returns how many it dropped.
    int DiscardPending(int limit);
    void Close();

    CDiscoveryOwner* m_pOwner = nullptr;

private:
    void Watch(SocketHandle socket) override;
    void Forget(SocketHandle socket) override;
    void OnReceive();
    // As Windows Sockets do: a report stays off from when it is given until the next read.
    void ReportAgain();

    ProbeSocket m_sockets;
    std::map<SocketHandle, std::unique_ptr<QSocketNotifier>> m_notifiers;
};
