#pragma once
// The list line of one device: four fixed-width columns, 56 characters in all,
// so that a fixed-pitch font lines them up under the column headers.

#include "discovery_packet.h"

#include <string>

constexpr std::size_t DEVICE_LINE_LENGTH = 56;

std::string FormatMacAddress(const MacOctets& mac);
std::string FormatDeviceLine(const DISCOVERY_PACKET& device);
