#pragma once
// The host's network interfaces as the system lists them, read afresh at each call.

#include "probe_interfaces.h"

#include <string>
#include <vector>

// Every interface with its flags; one entry per IPv4 address, and one without an
// address for an interface that has none. False with a reason in `error` on failure.
bool ListNetworkInterfaces(std::vector<NetworkInterface>& interfaces, std::string& error);

// The system's interfaces (ListNetworkInterfaces).
InterfaceSource& SystemInterfaces();
