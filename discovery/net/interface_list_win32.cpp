#include "interface_list.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text)
{
    if (text == nullptr)
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? std::size_t(size) : 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(std::strlen(utf8.c_str()));
    return utf8;
}

IpOctets MaskOfPrefix(unsigned length)
{
    const std::uint32_t mask = length == 0 ? 0 : length >= 32 ? 0xFFFFFFFFu : ~((1u << (32 - length)) - 1);
    return {std::uint8_t(mask >> 24), std::uint8_t(mask >> 16), std::uint8_t(mask >> 8), std::uint8_t(mask)};
}

} // namespace

bool ListNetworkInterfaces(std::vector<NetworkInterface>& interfaces, std::string& error)
{
    interfaces.clear();
    constexpr ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = ::GetAdaptersAddresses(AF_INET, flags, nullptr,
                                        reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result == ERROR_NO_DATA)
        return true;
    if (result != NO_ERROR) {
        error = "GetAdaptersAddresses failed with error " + std::to_string(result);
        return false;
    }
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
         adapter = adapter->Next) {
        NetworkInterface entry;
        entry.name = Utf8(adapter->FriendlyName);
        entry.index = adapter->IfIndex;
        entry.up = adapter->OperStatus == IfOperStatusUp;
        entry.loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
        entry.pointToPoint = adapter->IfType == IF_TYPE_PPP || adapter->IfType == IF_TYPE_TUNNEL;
        // Windows names no broadcast flag: every other kind of link (Ethernet, Wi-Fi) broadcasts.
        entry.broadcast = !entry.loopback && !entry.pointToPoint;
        bool anyIpv4 = false;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr; unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET)
                continue;
            NetworkInterface withAddress = entry;
            withAddress.hasIpv4 = true;
            std::memcpy(withAddress.address.data(), &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, 4);
            withAddress.mask = MaskOfPrefix(unicast->OnLinkPrefixLength);
            interfaces.push_back(withAddress);
            anyIpv4 = true;
        }
        if (!anyIpv4)
            interfaces.push_back(entry);
    }
    return true;
}
