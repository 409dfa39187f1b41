#include "discovery_packet.h"

#include <bit>

std::uint16_t SwapBytes16(std::uint16_t value)
{
    return static_cast<std::uint16_t>((value << 8) | (value >> 8));
}

std::uint16_t ToWireOrder16(std::uint16_t value)
{
    if constexpr (std::endian::native == std::endian::little)
        return SwapBytes16(value);
    else
        return value;
}

std::uint16_t FromWireOrder16(std::uint16_t wire)
{
    return ToWireOrder16(wire);
}

namespace {

DISCOVERY_PACKET EmptyPacket(std::uint16_t command)
{
    DISCOVERY_PACKET packet{};
    packet.magic = ToWireOrder16(DISCOVERY_MAGIC);
    packet.command = ToWireOrder16(command);
    return packet;
}

} // namespace

DISCOVERY_PACKET BuildProbe()
{
    return EmptyPacket(CMD_DISCOVER);
}

DISCOVERY_PACKET BuildSetIp(const IpOctets& newAddress, const MacOctets& target)
{
    DISCOVERY_PACKET packet = EmptyPacket(CMD_SET_IP);
    packet.ipAddress = newAddress;
    packet.macAddress = target;
    return packet;
}

DISCOVERY_PACKET BuildSetMask(const IpOctets& address, const IpOctets& newMask, const MacOctets& target)
{
    DISCOVERY_PACKET packet = EmptyPacket(CMD_SET_MASK);
    packet.ipAddress = address;
    packet.ipMask = newMask;
    packet.macAddress = target;
    return packet;
}

std::uint16_t CommandOf(const DISCOVERY_PACKET& packet)
{
    return FromWireOrder16(packet.command);
}

std::uint16_t DeviceIdOf(const DISCOVERY_PACKET& packet)
{
    return FromWireOrder16(packet.deviceId);
}

bool IsWholeDatagram(std::int64_t receivedSize)
{
    return receivedSize == static_cast<std::int64_t>(DISCOVERY_PACKET_SIZE);
}

bool IsDiscoveryReply(const DISCOVERY_PACKET& packet)
{
    // Only the command decides: magic, sender and field values are taken as they come.
    return CommandOf(packet) == CMD_DISCOVER;
}
