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

bool OnlyInterface::List(std::vector<NetworkInterface>& interfaces, std::string& error)
{
    std::vector<NetworkInterface> all;
    if (!m_all.List(all, error))
        return false;
    interfaces.clear();
    for (const NetworkInterface& entry : all)
        if (entry.name == m_name)
            interfaces.push_back(entry);
    return true;
}

std::string WhyNoProbe(const std::vector<NetworkInterface>& listed, const std::string& onlyName)
{
    if (onlyName.empty())
        return "no usable network interface: none is up with an IPv4 address and able to broadcast "
               "(loopback and point-to-point links are not probed)";
    const NetworkInterface* named = FindInterface(listed, onlyName);
    if (named == nullptr)
        return "no network interface named " + onlyName;
    return "cannot probe interface " + onlyName + ": it " + WhyNotProbed(*named);
}
