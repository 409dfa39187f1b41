#include "address_rules.h"

#include "dotted_quad.h"

bool IsAcceptableAddress(const IpOctets& address)
{
    // All zero also stands for text that did not parse.
    if (IsAllZero(address))
        return false;
    if (address[0] >= 224)   // multicast, reserved and the limited broadcast
        return false;
    if (address[0] == 127)   // loopback
        return false;
    if (address[3] == 255)   // a subnet's broadcast address in the common masks
        return false;
    return true;
}

bool IsAcceptableMask(const IpOctets& mask)
{
    // Deliberately no contiguity check: 255.0.255.0 passes.
    return !IsAllZero(mask) && mask[0] == 255;
}

AddressChangePlan PlanAddressChange(const DISCOVERY_PACKET& device, const IpOctets& newAddress,
                                    const IpOctets& newMask)
{
    if (!IsAcceptableAddress(newAddress))
        return {AddressChangeVerdict::InvalidAddress, {}};
    if (!IsAcceptableMask(newMask))
        return {AddressChangeVerdict::InvalidMask, {}};
    const bool addressChanged = newAddress != device.ipAddress;
    const bool maskChanged = newMask != device.ipMask;
    if (!addressChanged && !maskChanged)
        return {AddressChangeVerdict::Unchanged, {}};

    AddressChangePlan plan{AddressChangeVerdict::Send, {}};
    if (addressChanged)
        plan.datagrams.push_back(BuildSetIp(newAddress, device.macAddress));
    if (maskChanged)
        plan.datagrams.push_back(BuildSetMask(newAddress, newMask, device.macAddress));
    return plan;
}
