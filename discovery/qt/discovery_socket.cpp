#include "discovery_socket.h"

#include <cstring>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

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
    ::setsockopt(static_cast<decltype(::socket(0, 0, 0))>(socketDescriptor()), SOL_SOCKET, SO_BROADCAST,
                 reinterpret_cast<const char*>(&allow), sizeof allow);
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

qint64 CDiscoverySocket::ReceiveFrom(DISCOVERY_PACKET& row)
{
    if (!m_bCreated)
        return -1;
    // One read per datagram, into room for the largest one, so the size read is the
    // true size: an oversized datagram is never taken for a cut-down reply.
    const qint64 size = readDatagram(m_receiveBuffer.data(), qint64(m_receiveBuffer.size()));
    if (size < 0)
        return -1;
    if (size == qint64(sizeof row))
        std::memcpy(&row, m_receiveBuffer.data(), sizeof row);
    return size;
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
