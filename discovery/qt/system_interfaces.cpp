#include "system_interfaces.h"

#include <QNetworkInterface>

std::vector<NetworkInterface> ListSystemInterfaces()
{
    std::vector<NetworkInterface> listed;
    for (const QNetworkInterface& system : QNetworkInterface::allInterfaces()) {
        NetworkInterface entry;
        entry.name = system.name().toStdString();
        entry.index = unsigned(std::max(system.index(), 0));
        const QNetworkInterface::InterfaceFlags flags = system.flags();
        entry.up = flags.testFlag(QNetworkInterface::IsUp);
        entry.broadcast = flags.testFlag(QNetworkInterface::CanBroadcast);
        entry.loopback = flags.testFlag(QNetworkInterface::IsLoopBack);
        entry.pointToPoint = flags.testFlag(QNetworkInterface::IsPointToPoint);
        bool anyIpv4 = false;
        for (const QNetworkAddressEntry& address : system.addressEntries()) {
            if (address.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            const quint32 ip = address.ip().toIPv4Address();
            const quint32 mask = address.netmask().toIPv4Address();
            NetworkInterface withAddress = entry;
            withAddress.hasIpv4 = true;
            withAddress.address = {std::uint8_t(ip >> 24), std::uint8_t(ip >> 16), std::uint8_t(ip >> 8),
                                   std::uint8_t(ip)};
            withAddress.mask = {std::uint8_t(mask >> 24), std::uint8_t(mask >> 16), std::uint8_t(mask >> 8),
                                std::uint8_t(mask)};
            listed.push_back(withAddress);
            anyIpv4 = true;
        }
        if (!anyIpv4)
            listed.push_back(entry);
    }
    return listed;
}
