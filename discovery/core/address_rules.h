#pragma once
// Which addresses and masks may be given to a device, and the datagrams a change needs.

#include "discovery_packet.h"

#include <vector>

bool IsAcceptableAddress(const IpOctets& address);
bool IsAcceptableMask(const IpOctets& mask);

enum class AddressChangeVerdict { InvalidAddress, InvalidMask, Unchanged, Send };

struct AddressChangePlan {
    AddressChangeVerdict verdict;
    std::vector<DISCOVERY_PACKET> datagrams;   // in sending order; empty unless verdict is Send
};

// `device` is the record the operator chose, as the device reported it.
AddressChangePlan PlanAddressChange(const DISCOVERY_PACKET& device, const IpOctets& newAddress,
                                    const IpOctets& newMask);
