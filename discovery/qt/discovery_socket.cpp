#include "discovery_socket.h"

#include <QSocketNotifier>

namespace {

IpOctets OctetsOf(const QHostAddress& address)
{
    const quint32 value = address.toIPv4Address();
    return {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8), std::uint8_t(value)};
}

ProbeEndpoints ToProbeEndpoints(const DiscoveryEndpoints& endpoints)
{
    ProbeEndpoints probe;
    probe.localAddress = OctetsOf(endpoints.localAddress);
    probe.localPort = endpoints.localPort;
    probe.destination = OctetsOf(endpoints.destination);
    probe.destinationPort = endpoints.destinationPort;
    probe.interfaces = endpoints.interfaces;
    return probe;
}

} // namespace

CDiscoverySocket::CDiscoverySocket(const DiscoveryEndpoints& endpoints, QObject* parent)
    : QObject(parent), m_sockets(ToProbeEndpoints(endpoints), static_cast<SocketWatcher*>(this))
{
}

CDiscoverySocket::~CDiscoverySocket()
{
    m_sockets.Close();
}

void CDiscoverySocket::Watch(SocketHandle socket)
{
    auto notifier = std::make_unique<QSocketNotifier>(qintptr(socket), QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &CDiscoverySocket::OnReceive);
    m_notifiers[socket] = std::move(notifier);
}

void CDiscoverySocket::Forget(SocketHandle socket)
{
    m_notifiers.erase(socket);
}

void CDiscoverySocket::Reading()
{
    for (auto& [socket, notifier] : m_notifiers)
        notifier->setEnabled(true);
}

void CDiscoverySocket::OnReceive()
{
    for (auto& [socket, notifier] : m_notifiers)
        notifier->setEnabled(false);
    if (m_onReceive)
        m_onReceive();
}
