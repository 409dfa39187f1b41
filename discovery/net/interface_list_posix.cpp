#include "interface_list.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

IpOctets OctetsOf(const sockaddr* address)
{
    IpOctets octets{};
    if (address != nullptr && address->sa_family == AF_INET)
        std::memcpy(octets.data(), &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, 4);
    return octets;
}

} // namespace

bool ListNetworkInterfaces(std::vector<NetworkInterface>& interfaces, std::string& error)
{
    interfaces.clear();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        error = std::strerror(errno);
        return false;
    }
    std::vector<NetworkInterface> withoutAddress;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        NetworkInterface found;
        found.name = entry->ifa_name;
        found.index = ::if_nametoindex(entry->ifa_name);
        found.up = (entry->ifa_flags & IFF_UP) != 0;
        found.broadcast = (entry->ifa_flags & IFF_BROADCAST) != 0;
        found.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        found.pointToPoint = (entry->ifa_flags & IFF_POINTOPOINT) != 0;
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            found.hasIpv4 = true;
            found.address = OctetsOf(entry->ifa_addr);
            found.mask = OctetsOf(entry->ifa_netmask);
            interfaces.push_back(found);
        } else {
            withoutAddress.push_back(found);
        }
    }
    ::freeifaddrs(list);
    // Interfaces seen only through other address families are listed once, without an address.
    for (const NetworkInterface& other : withoutAddress) {
        const auto sameName = [&](const NetworkInterface& i) { return i.name == other.name; };
        if (std::none_of(interfaces.begin(), interfaces.end(), sameName))
            interfaces.push_back(other);
    }
    return true;
}
