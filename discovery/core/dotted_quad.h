#pragma once
// Dotted-decimal text for addresses and masks.

#include "discovery_packet.h"

#include <string>

// Four octets, or all zero when the text is not a strict dotted quad:
// 1 to 3 digits per octet, each at most 255, trailing spaces allowed, nothing else.
IpOctets ParseDottedQuad(const char* text);
std::string FormatDottedQuad(const IpOctets& octets);
bool IsAllZero(const IpOctets& octets);
