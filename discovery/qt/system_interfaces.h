#pragma once
// The host's network interfaces as Qt lists them, in the core's terms.

#include "probe_interfaces.h"

#include <vector>

// Read afresh at each call, so an interface that came up since the last scan counts.
std::vector<NetworkInterface> ListSystemInterfaces();
