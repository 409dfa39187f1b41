#include "discovery_socket.h"

#include <QSocketNotifier>

#include <string>

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
    return probe;
}

} // namespace

CDiscoverySocket::CDiscoverySocket(const DiscoveryEndpoints& endpoints, QObject* parent)
    : QObject(parent), m_sockets(ToProbeEndpoints(endpoints), static_cast<SocketWatcher*>(this))
{
}

CDiscoverySocket::~CDiscoverySocket()
{
    Close();
}

bool CDiscoverySocket::Create()
{
    std::string error;
    return m_sockets.Open(error);
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

int CDiscoverySocket::SendOnEveryInterface(const DISCOVERY_PACKET& packet)
{
    return m_sockets.SendOnEveryInterface(packet);
}

void CDiscoverySocket::SendVia(const DISCOVERY_PACKET& packet, unsigned interfaceIndex)
{
    m_sockets.SendOnInterface(packet, interfaceIndex);
}

qint64 CDiscoverySocket::ReceiveFrom(DISCOVERY_PACKET& row, unsigned& arrivalInterface)
{
    ReportAgain();
    return m_sockets.Receive(row, arrivalInterface);
}

int CDiscoverySocket::DiscardPending(int limit)
{
    ReportAgain();
    return m_sockets.DiscardPending(limit);
}

void CDiscoverySocket::Close()
{
    m_sockets.Close();
    m_notifiers.clear();
}

void CDiscoverySocket::ReportAgain()
{
    for (auto& [socket, notifier] : m_notifiers)
        notifier->setEnabled(true);
}

void CDiscoverySocket::OnReceive()
{
    // Off until the owner reads: a full table, which reads nothing more until the next
    // scan, must not have the datagrams left waiting reported over and over.
    for (auto& [socket, notifier] : m_notifiers)
        notifier->setEnabled(false);
    if (m_pOwner != nullptr)
        m_pOwner->ReceiveReplies();
}
