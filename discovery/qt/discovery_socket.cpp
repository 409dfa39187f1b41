#include "discovery_socket.h"

#include "interface_list.h"

#include <QNetworkDatagram>

#include <cstring>

#include <sys/socket.h>

namespace {

// Read afresh at each call, so an interface that came up since the last scan
// counts; none when the system cannot list them (the plain broadcast goes then).
std::vector<NetworkInterface> SystemInterfaces()
{
    std::vector<NetworkInterface> listed;
    std::string error;
    if (!ListNetworkInterfaces(listed, error))
        listed.clear();
    return listed;
}

} // namespace

CDiscoverySocket::CDiscoverySocket(const DiscoveryEndpoints& endpoints, QObject* parent)
    : QUdpSocket(parent), m_endpoints(endpoints)
{
    connect(this, &QUdpSocket::readyRead, this, &CDiscoverySocket::OnReceive);
}

bool CDiscoverySocket::Create()
{
    if (!bind(m_endpoints.localAddress, m_endpoints.localPort, QAbstractSocket::DontShareAddress))
        return false;
    m_bCreated = true;
    // Qt already allows broadcasts on datagram sockets; say so explicitly all the same.
    // A failure here would show as a failing send, which is silent anyway.
    const int allow = 1;
    ::setsockopt(static_cast<int>(socketDescriptor()), SOL_SOCKET, SO_BROADCAST, &allow, sizeof allow);
    return true;
}

void CDiscoverySocket::SendTo(const DISCOVERY_PACKET& packet)
{
    // Unbound, QUdpSocket would bind itself on the first send; a socket that
    // could not be created stays silent instead.
    if (!m_bCreated)
        return;
    writeDatagram(reinterpret_cast<const char*>(&packet), sizeof packet, m_endpoints.destination,
                  m_endpoints.destinationPort);
}

bool CDiscoverySocket::IsBroadcastDestination() const
{
    return m_endpoints.destination == QHostAddress(QHostAddress::Broadcast);
}

bool CDiscoverySocket::SendOn(const DISCOVERY_PACKET& packet, const NetworkInterface& via)
{
    // The interface index picks the way out for the limited broadcast, whatever the
    // routing table says; the sender address keeps the reply on the same network.
    QNetworkDatagram datagram(QByteArray(reinterpret_cast<const char*>(&packet), sizeof packet),
                              m_endpoints.destination, m_endpoints.destinationPort);
    datagram.setInterfaceIndex(via.index);
    const IpOctets& a = via.address;
    datagram.setSender(QHostAddress((quint32(a[0]) << 24) | (quint32(a[1]) << 16) | (quint32(a[2]) << 8) | a[3]));
    return writeDatagram(datagram) == qint64(sizeof packet);
}

int CDiscoverySocket::SendOnEveryInterface(const DISCOVERY_PACKET& packet)
{
    if (!m_bCreated)
        return 0;
    const std::vector<NetworkInterface> chosen =
        IsBroadcastDestination() ? ChooseProbeInterfaces(SystemInterfaces()) : std::vector<NetworkInterface>{};
    if (chosen.empty()) {
        SendTo(packet);
        return 1;
    }
    int handed = 0;
    for (const NetworkInterface& via : chosen)
        handed += SendOn(packet, via) ? 1 : 0;
    return handed;
}

void CDiscoverySocket::SendVia(const DISCOVERY_PACKET& packet, unsigned interfaceIndex)
{
    if (!m_bCreated)
        return;
    if (interfaceIndex != 0 && IsBroadcastDestination()) {
        const std::vector<NetworkInterface> listed = SystemInterfaces();
        const NetworkInterface* via = FindInterface(listed, interfaceIndex);
        if (via != nullptr && WhyNotProbed(*via).empty()) {
            SendOn(packet, *via);
            return;
        }
    }
    SendTo(packet);
}

qint64 CDiscoverySocket::ReceiveFrom(DISCOVERY_PACKET& row, unsigned& arrivalInterface)
{
    arrivalInterface = 0;
    if (!m_bCreated)
        return -1;
    // One read per datagram, with room for the largest, so the size read is the true
    // size: an oversized datagram is never taken for a cut-down reply.
    constexpr qint64 LARGEST_DATAGRAM = 65536;
    const QNetworkDatagram datagram = receiveDatagram(LARGEST_DATAGRAM);
    if (!datagram.isValid())
        return -1;
    const QByteArray& data = datagram.data();
    if (data.size() == qsizetype(sizeof row)) {
        std::memcpy(&row, data.constData(), sizeof row);
        arrivalInterface = datagram.interfaceIndex();
    }
    return data.size();
}

int CDiscoverySocket::DiscardPending()
{
    // Bounded, so a flood cannot hold the user interface here.
    constexpr int limit = 100000;
    int discarded = 0;
    char scratch = 0;
    while (m_bCreated && discarded < limit && readDatagram(&scratch, sizeof scratch) >= 0)
        ++discarded;
    return discarded;
}

void CDiscoverySocket::Close()
{
    m_bCreated = false;
    close();
}

void CDiscoverySocket::OnReceive()
{
    if (m_pOwner != nullptr)
        m_pOwner->ReceiveReplies();
}
