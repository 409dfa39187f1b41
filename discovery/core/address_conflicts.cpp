#include "address_conflicts.h"

#include "address_rules.h"
#include "device_line.h"
#include "dotted_quad.h"

#include <algorithm>
#include <cstdint>

namespace {

std::uint32_t Bits(const IpOctets& octets)
{
    return std::uint32_t(octets[0]) << 24 | std::uint32_t(octets[1]) << 16 | std::uint32_t(octets[2]) << 8 |
           octets[3];
}

IpOctets Octets(std::uint32_t bits)
{
    return {std::uint8_t(bits >> 24), std::uint8_t(bits >> 16), std::uint8_t(bits >> 8), std::uint8_t(bits)};
}

bool InSubnet(const IpOctets& address, const IpOctets& of, const IpOctets& mask)
{
    return (Bits(address) & Bits(mask)) == (Bits(of) & Bits(mask));
}

// The interface with this index whose address this is, this PC's own; any interface
// for index 0. Null when it is none of this PC's.
const NetworkInterface* OwnerOf(const IpOctets& address, unsigned index, const std::vector<NetworkInterface>& listed)
{
    const auto owner = std::find_if(listed.begin(), listed.end(), [&](const NetworkInterface& entry) {
        return entry.hasIpv4 && (index == 0 || entry.index == index) && entry.address == address;
    });
    return owner == listed.end() ? nullptr : &*owner;
}

bool AnsweredWith(const IpOctets& address, const std::vector<SessionReply>& found)
{
    return std::any_of(found.begin(), found.end(),
                       [&](const SessionReply& reply) { return reply.reply.ipAddress == address; });
}

} // namespace

std::vector<AddressFindings> FindAddressProblems(const std::vector<SessionReply>& replies,
                                                 const std::vector<NetworkInterface>& listed)
{
    std::vector<AddressFindings> findings(replies.size());
    for (std::size_t i = 0; i < replies.size(); ++i) {
        const SessionReply& device = replies[i];
        for (const SessionReply& other : replies) {
            const MacOctets& mac = other.reply.macAddress;
            if (other.interfaceIndex == device.interfaceIndex && other.reply.ipAddress == device.reply.ipAddress &&
                mac != device.reply.macAddress &&
                std::find(findings[i].sharesWith.begin(), findings[i].sharesWith.end(), mac) ==
                    findings[i].sharesWith.end())
                findings[i].sharesWith.push_back(mac);
        }
        bool known = false;
        bool inside = false;
        for (const NetworkInterface& entry : listed) {
            if (device.interfaceIndex == 0 || entry.index != device.interfaceIndex || !entry.hasIpv4)
                continue;
            known = true;
            inside = inside || InSubnet(device.reply.ipAddress, entry.address, entry.mask);
        }
        findings[i].outsideSubnets = known && !inside;
    }
    return findings;
}

std::string WhyAddressConflict(const ChangeRequest& request, const std::vector<SessionReply>& found,
                               const std::vector<NetworkInterface>& listed)
{
    const std::string address = FormatDottedQuad(request.address);
    unsigned index = 0;
    for (const SessionReply& reply : found) {
        if (reply.reply.macAddress == request.mac) {
            // A device kept at its own address makes no conflict it was not already in.
            if (reply.reply.ipAddress == request.address)
                return {};
            index = index == 0 ? reply.interfaceIndex : index;
        }
    }
    for (const SessionReply& reply : found) {
        if (reply.reply.macAddress == request.mac)
            continue;
        if (reply.reply.ipAddress == request.address)
            return address + " is the address of " + FormatMacAddress(reply.reply.macAddress) +
                   (reply.interfaceName.empty() ? "" : " on " + reply.interfaceName);
    }
    if (const NetworkInterface* owner = OwnerOf(request.address, index, listed))
        return address + " is this PC's address on " + owner->name;
    return {};
}

RenumberPlan PlanRenumber(const IpOctets& from, const IpOctets& first, const IpOctets& mask, bool maskGiven,
                          const std::vector<SessionReply>& found, const std::vector<NetworkInterface>& listed)
{
    std::vector<const SessionReply*> batch;
    for (const SessionReply& reply : found)
        if (reply.reply.ipAddress == from &&
            std::none_of(batch.begin(), batch.end(),
                         [&](const SessionReply* in) { return in->reply.macAddress == reply.reply.macAddress; }))
            batch.push_back(&reply);
    std::sort(batch.begin(), batch.end(),
              [](const SessionReply* a, const SessionReply* b) { return a->reply.macAddress < b->reply.macAddress; });

    RenumberPlan plan;
    std::uint32_t next = Bits(first);
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const SessionReply& device = *batch[i];
        const IpOctets deviceMask = maskGiven ? mask : device.reply.ipMask;
        const std::uint32_t hostBits = ~Bits(deviceMask);
        // Taken addresses and those the rules refuse are stepped over; the subnet's
        // broadcast address ends the range.
        while (next != 0 && InSubnet(Octets(next), first, deviceMask) && (next & hostBits) != hostBits &&
               (AnsweredWith(Octets(next), found) || OwnerOf(Octets(next), device.interfaceIndex, listed) != nullptr ||
                !IsAcceptableAddress(Octets(next))))
            ++next;
        if (next == 0 || !InSubnet(Octets(next), first, deviceMask) || (next & hostBits) == hostBits) {
            plan.requests.clear();
            plan.error = "the range from " + FormatDottedQuad(first) + " runs out of the subnet " +
                         FormatDottedQuad(Octets(Bits(first) & Bits(deviceMask))) + " mask " +
                         FormatDottedQuad(deviceMask) + " after " + std::to_string(i) + " of " +
                         std::to_string(batch.size()) + " devices; nothing sent";
            return plan;
        }
        plan.requests.push_back({device.reply.macAddress, Octets(next), mask, maskGiven});
        ++next;
    }
    return plan;
}
