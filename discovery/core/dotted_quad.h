#pragma once
// Dotted-decimal text for addresses and masks.

#include "discovery_packet.h"

#include <string>
#include <string_view>

// Four octets, or all zero when the text is not a strict dotted quad:
// 1 to 3 digits per octet, each at most 255, trailing spaces allowed, nothing else.
IpOctets ParseDottedQuad(const char* text);
// An address field's whole text as ParseDottedQuad takes it; all zero when it holds a
// NUL, which would end the text early and let what follows it pass unseen.
IpOctets ParseAddressField(std::string_view text);
std::string FormatDottedQuad(const IpOctets& octets);
bool IsAllZero(const IpOctets& octets);
