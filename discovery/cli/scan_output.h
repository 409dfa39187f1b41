#pragma once
// What corvane-scan prints for the devices found: the list's 56-character lines, or JSON.

#include "address_conflicts.h"
#include "discovery_packet.h"

#include <string>
#include <vector>

struct FoundDevice {
    DISCOVERY_PACKET reply;
    std::string interfaceName;   // where the reply came in; empty if unknown
    AddressFindings findings;    // what stands in the way of reaching it by its address
};

// In the list's order: ascending by line text; replies with the same text keep arrival order.
std::vector<FoundDevice> SortedAsListed(std::vector<FoundDevice> devices);
// One line per device, each ending in a newline.
std::string FormatTextLines(const std::vector<FoundDevice>& devices);
// A JSON string: interface names are UTF-8 and pass as they are, with only what JSON
// requires escaped ('"', '\\', control characters); a byte that is not part of a
// well-formed UTF-8 sequence becomes U+FFFD.
std::string JsonString(const std::string& value);
// A JSON array with one object per device: address, mask, mac, deviceId, interface,
// sharesAddressWith (the MACs of the others at its address behind its interface) and
// outsideSubnets.
std::string FormatJson(const std::vector<FoundDevice>& devices);
// One line per finding, for standard error: who shares an address, who is outside
// every subnet of the interface it answered on.
std::string FormatAddressNotes(const std::vector<FoundDevice>& devices);
