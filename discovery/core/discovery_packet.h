#pragma once
// The one datagram format the devices speak, in both directions.

#include <array>
#include <cstddef>
#include <cstdint>

using IpOctets = std::array<std::uint8_t, 4>;    // dotted order, first octet first
using MacOctets = std::array<std::uint8_t, 6>;   // display order

constexpr std::uint16_t DISCOVERY_MAGIC = 0x4321;
constexpr std::uint16_t DISCOVERY_PORT = 36;
constexpr std::uint16_t CMD_DISCOVER = 0x3039;
constexpr std::uint16_t CMD_SET_IP = 0x303A;
constexpr std::uint16_t CMD_SET_MASK = 0x303B;

// Laid out exactly as on the wire; the 16-bit fields hold big-endian values.
struct DISCOVERY_PACKET {
    std::uint16_t magic;
    std::uint16_t command;
    IpOctets ipAddress;
    IpOctets ipMask;
    MacOctets macAddress;
    std::uint16_t deviceId;
};
static_assert(sizeof(DISCOVERY_PACKET) == 20, "the datagram is exactly 20 bytes");
static_assert(offsetof(DISCOVERY_PACKET, ipAddress) == 4);
static_assert(offsetof(DISCOVERY_PACKET, macAddress) == 12);
static_assert(offsetof(DISCOVERY_PACKET, deviceId) == 18);

constexpr std::size_t DISCOVERY_PACKET_SIZE = sizeof(DISCOVERY_PACKET);

std::uint16_t SwapBytes16(std::uint16_t value);
// Host value to and from the big-endian wire order, whatever the host's order.
std::uint16_t ToWireOrder16(std::uint16_t value);
std::uint16_t FromWireOrder16(std::uint16_t wire);

DISCOVERY_PACKET BuildProbe();
DISCOVERY_PACKET BuildSetIp(const IpOctets& newAddress, const MacOctets& target);
DISCOVERY_PACKET BuildSetMask(const IpOctets& address, const IpOctets& newMask, const MacOctets& target);

std::uint16_t CommandOf(const DISCOVERY_PACKET& packet);
std::uint16_t DeviceIdOf(const DISCOVERY_PACKET& packet);

// A read of `receivedSize` bytes counts as a datagram only at exactly 20 bytes.
bool IsWholeDatagram(std::int64_t receivedSize);
bool IsDiscoveryReply(const DISCOVERY_PACKET& packet);
