// Any received datagram: only exactly 20 bytes with command 0x3039 is a reply,
// and any 20-byte row formats as one 56-character line whose columns give back
// the row's address, mask, MAC address and device number.
#include "device_line.h"
#include "discovery_packet.h"
#include "dotted_quad.h"
#include "fuzz_check.h"

#include <cstring>
#include <string>

namespace {

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string Dotted(const std::uint8_t* octets)
{
    return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." + std::to_string(octets[2]) + "." +
           std::to_string(octets[3]);
}

void CheckLine(const std::uint8_t* bytes)
{
    DISCOVERY_PACKET row;
    std::memcpy(&row, bytes, sizeof row);
    const std::string line = FormatDeviceLine(row);
    FUZZ_CHECK(line.size() == DEVICE_LINE_LENGTH);
    for (char c : line)
        FUZZ_CHECK(c >= 0x20 && c < 0x7F);

    // Columns 0-14 address, 16-30 mask, 32-48 MAC, 50-55 device number, one blank between.
    FUZZ_CHECK(line[15] == ' ' && line[31] == ' ' && line[49] == ' ');
    const std::string address = line.substr(0, 15);
    const std::string mask = line.substr(16, 15);
    FUZZ_CHECK(Trimmed(address) == Dotted(bytes + 4));
    FUZZ_CHECK(address.rfind(Dotted(bytes + 4), 0) == 0);   // left-aligned
    FUZZ_CHECK(Trimmed(mask) == Dotted(bytes + 8));
    FUZZ_CHECK(mask.rfind(Dotted(bytes + 8), 0) == 0);
    // The address column reads back as the row's octets.
    FUZZ_CHECK(ParseDottedQuad(address.c_str()) == row.ipAddress);

    static const char hex[] = "0123456789ABCDEF";
    for (int i = 0; i < 6; ++i) {
        const std::uint8_t octet = bytes[12 + i];
        FUZZ_CHECK(line[32 + 3 * i] == hex[octet >> 4]);
        FUZZ_CHECK(line[33 + 3 * i] == hex[octet & 0x0F]);
        if (i < 5)
            FUZZ_CHECK(line[34 + 3 * i] == '-');
    }

    const std::string id = line.substr(50, 6);
    const std::string number = std::to_string(bytes[18] * 256 + bytes[19]);
    FUZZ_CHECK(id == std::string(6 - number.size(), ' ') + number);   // right-aligned
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The receive path hands the recogniser the size the system reported.
    const bool whole = IsWholeDatagram(static_cast<std::int64_t>(size));
    FUZZ_CHECK(whole == (size == 20));
    if (size >= 8) {
        // Any size the system could report, errors (negative) included.
        std::int64_t reported;
        std::memcpy(&reported, data, sizeof reported);
        FUZZ_CHECK(IsWholeDatagram(reported) == (reported == 20));
    }
    if (size < 20)
        return 0;

    // Longer reads are never cut to 20 bytes; their first 20 still format as a row would.
    DISCOVERY_PACKET packet;
    std::memcpy(&packet, data, sizeof packet);
    FUZZ_CHECK(IsDiscoveryReply(packet) == (data[2] == 0x30 && data[3] == 0x39));
    FUZZ_CHECK(DeviceIdOf(packet) == data[18] * 256 + data[19]);
    CheckLine(data);
    return 0;
}
