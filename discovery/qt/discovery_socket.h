#pragma once
// The program's datagram sockets as the Qt window sees them: the socket layer's
// sockets, each watched by a QSocketNotifier that reports waiting datagrams to the
// owner. As with Windows Sockets, a report stays off from when it is given until the
// next read, so datagrams left waiting by a full table are not reported over and over.

#include "discovery_packet.h"
#include "probe_socket.h"

#include <QHostAddress>
#include <QObject>

#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;

// Where the socket listens and sends, and what lists the interfaces. The defaults
// are the real network; tests point them at a simulator on loopback.
struct DiscoveryEndpoints {
    QHostAddress localAddress = QHostAddress(QHostAddress::AnyIPv4);
    quint16 localPort = 0;
    QHostAddress destination = QHostAddress(QHostAddress::Broadcast);
    quint16 destinationPort = DISCOVERY_PORT;
    InterfaceSource* interfaces = nullptr;   // null: the system's
};

class CDiscoverySocket : public QObject, private SocketWatcher {
    Q_OBJECT
public:
    explicit CDiscoverySocket(const DiscoveryEndpoints& endpoints = {}, QObject* parent = nullptr);
    ~CDiscoverySocket() override;

    ProbeSocket& Sockets() { return m_sockets; }
    // Called when datagrams wait: the owner drains the sockets.
    std::function<void()> m_onReceive;

private:
    void Watch(SocketHandle socket) override;
    void Forget(SocketHandle socket) override;
    void Reading() override;
    void OnReceive();

    std::map<SocketHandle, std::unique_ptr<QSocketNotifier>> m_notifiers;
    ProbeSocket m_sockets;   // after the notifiers: closing it forgets them first
};
