#pragma once
// What makes a device unreachable by its address: another device at the same address
// behind the same interface, or an address outside every subnet of that interface.
// corvane-scan notes both; corvane-set refuses to make the first, and renumbers a
// batch of devices that share one address into a free range.

#include "scan_session.h"

#include <string>
#include <vector>

struct AddressFindings {
    std::vector<MacOctets> sharesWith;   // other devices behind the same interface at this address
    bool outsideSubnets = false;         // outside every subnet of the interface it answered on
};

// One entry per reply, in the same order. `listed` is the interface list of the scan
// (ProbeReport::listed): every address an interface has counts. A reply whose
// interface is not known, or has no IPv4 address, is never outside.
std::vector<AddressFindings> FindAddressProblems(const std::vector<SessionReply>& replies,
                                                 const std::vector<NetworkInterface>& listed);

// Why a change would leave two hosts at one address, or empty when it would not: the
// new address is one another device answered with, or this PC's own on the device's
// interface (on any interface when the device was not found).
std::string WhyAddressConflict(const ChangeRequest& request, const std::vector<SessionReply>& found,
                               const std::vector<NetworkInterface>& listed);

struct RenumberPlan {
    std::vector<ChangeRequest> requests;   // in MAC order
    std::string error;                     // why the range was refused; then no requests
};

// Every device that answered with `from`, in MAC order, gets the next address from
// `first` upward that no device answered with and that is not this PC's own; each
// keeps its own mask unless `maskGiven`. Refused when the range leaves the subnet
// (of the mask each device will have) before every device has an address.
RenumberPlan PlanRenumber(const IpOctets& from, const IpOctets& first, const IpOctets& mask, bool maskGiven,
                          const std::vector<SessionReply>& found, const std::vector<NetworkInterface>& listed);
