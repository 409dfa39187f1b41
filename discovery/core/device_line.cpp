#include "device_line.h"

#include "dotted_quad.h"

#include <cstdio>

std::string FormatMacAddress(const MacOctets& mac)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X",
                  mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

std::string FormatDeviceLine(const DISCOVERY_PACKET& device)
{
    const std::string address = FormatDottedQuad(device.ipAddress);
    const std::string mask = FormatDottedQuad(device.ipMask);
    const std::string mac = FormatMacAddress(device.macAddress);
    char id[8];
    std::snprintf(id, sizeof id, "%d", static_cast<int>(DeviceIdOf(device)));
    // Sized for any field widths; the fields never exceed theirs, so the line is 56 long.
    char line[64];
    std::snprintf(line, sizeof line, "%-15s %-15s %-17s %6s", address.c_str(), mask.c_str(), mac.c_str(), id);
    return line;
}
