#include "probe_interfaces.h"

#include "dotted_quad.h"

#include <algorithm>

std::string WhyNotProbed(const NetworkInterface& candidate)
{
    if (!candidate.up)
        return "is down";
    if (candidate.loopback)
        return "is the loopback interface";
    if (candidate.pointToPoint)
        return "is a point-to-point link";
    if (!candidate.broadcast)
        return "cannot send broadcasts";
    if (!candidate.hasIpv4 || IsAllZero(candidate.address))
        return "has no IPv4 address";
    return {};
}

std::vector<NetworkInterface> ChooseProbeInterfaces(const std::vector<NetworkInterface>& listed)
{
    std::vector<NetworkInterface> chosen;
    for (const NetworkInterface& candidate : listed) {
        if (!WhyNotProbed(candidate).empty())
            continue;
        const bool seen = std::any_of(chosen.begin(), chosen.end(),
                                      [&](const NetworkInterface& c) { return c.index == candidate.index; });
        if (!seen)
            chosen.push_back(candidate);
    }
    return chosen;
}

namespace {

template <typename Matches>
const NetworkInterface* FindBest(const std::vector<NetworkInterface>& listed, Matches matches)
{
    const NetworkInterface* found = nullptr;
    for (const NetworkInterface& candidate : listed) {
        if (!matches(candidate))
            continue;
        if (candidate.hasIpv4 && WhyNotProbed(candidate).empty())
            return &candidate;
        if (found == nullptr || (candidate.hasIpv4 && !found->hasIpv4))
            found = &candidate;
    }
    return found;
}

} // namespace

const NetworkInterface* FindInterface(const std::vector<NetworkInterface>& listed, unsigned index)
{
    return FindBest(listed, [&](const NetworkInterface& c) { return c.index == index; });
}

const NetworkInterface* FindInterface(const std::vector<NetworkInterface>& listed, const std::string& name)
{
    return FindBest(listed, [&](const NetworkInterface& c) { return c.name == name; });
}
