#pragma once
// Where a device's built-in web page lives.

#include "discovery_packet.h"

#include <string>

std::string WebPageUrl(const IpOctets& address);   // http://a.b.c.d
