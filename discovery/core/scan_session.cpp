#include "scan_session.h"

#include "scan_state.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

class SteadySessionClock final : public SessionClock {
public:
    double NowMs() override
    {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

bool ShowsNewValues(const PlannedChange& change, const SessionReply& reply)
{
    return reply.reply.macAddress == change.request.mac && reply.interfaceIndex == change.interfaceIndex &&
           reply.reply.ipAddress == change.request.address && reply.reply.ipMask == change.newMask;
}

bool Awaited(const PlannedChange& change)
{
    return change.SentWhole() && !change.confirmed;
}

} // namespace

SessionClock& SteadyClock()
{
    static SteadySessionClock clock;
    return clock;
}

CScanSession::CScanSession(ProbeNetwork& network, SessionClock& clock, std::string onlyInterface)
    : m_network(network), m_clock(clock), m_onlyInterface(std::move(onlyInterface))
{
}

std::string CScanSession::InterfaceName(unsigned index) const
{
    const NetworkInterface* arrival = FindInterface(m_listed, index);
    return arrival != nullptr ? arrival->name : std::string();
}

ProbeReport CScanSession::Probe()
{
    ProbeReport report;
    std::vector<NetworkInterface> listed;
    std::string error;
    if (!m_network.ListInterfaces(listed, error)) {
        report.end = ProbeEnd::NotListed;
        report.error = "cannot list the network interfaces: " + error;
        return report;
    }
    m_listed = listed;
    report.listed = listed;
    report.probed = ChooseProbeInterfaces(listed);
    m_network.DiscardPending(DISCARD_LIMIT_BEFORE_PROBE);
    // Sent even when none is usable: the sends follow the list, so the sockets of the
    // interfaces that went close.
    const int sent = m_network.SendOnEveryInterface(BuildProbe());
    if (sent == INTERFACES_NOT_LISTED) {
        report.end = ProbeEnd::NotListed;
        report.error = "cannot list the network interfaces";
        return report;
    }
    report.sent = sent;
    if (report.probed.empty()) {
        report.end = ProbeEnd::NoInterface;
        report.error = WhyNoProbe(listed, m_onlyInterface);
    } else if (sent == 0) {
        report.end = ProbeEnd::NotSent;
        report.error = "no probe could be sent";
    } else {
        report.end = ProbeEnd::Sent;
    }
    return report;
}

ScanRound CScanSession::Scan(int windowMs, const Enough& enough)
{
    ScanRound round;
    round.firstProbeMs = round.lastReplyMs = m_clock.NowMs();
    round.probe = Probe();
    if (round.probe.end != ProbeEnd::Sent)
        return round;

    // The window runs from the probe, as the dialog's does.
    Collect(m_clock.NowMs() + windowMs, enough, round);
    return round;
}

void CScanSession::Collect(double windowEnd, const Enough& enough, ScanRound& round)
{
    CScanState scan;
    scan.BeginScan();
    const auto read = [&](DISCOVERY_PACKET& row, unsigned& arrivalInterface) {
        return m_network.Receive(row, arrivalInterface);
    };
    const auto accepted = [&](int row) {
        round.lastReplyMs = m_clock.NowMs();
        const unsigned index = scan.RowInterface(row);
        round.replies.push_back({scan.m_devices[std::size_t(row)], index, InterfaceName(index)});
    };
    while (!scan.IsFull()) {
        const double left = windowEnd - m_clock.NowMs();
        if (left <= 0 || !m_network.WaitReadable(int(std::ceil(left))))
            break;
        scan.ReceiveReplies(read, accepted);
        if (enough && enough(round.replies))
            break;
    }
    scan.CloseScanWindow();
}

PlannedChange CScanSession::Plan(const ChangeRequest& request, const std::vector<SessionReply>& found)
{
    PlannedChange change;
    change.request = request;
    change.newMask = request.mask;

    std::vector<const SessionReply*> answers;
    for (const SessionReply& reply : found)
        if (reply.reply.macAddress == request.mac)
            answers.push_back(&reply);
    if (answers.empty()) {
        change.verdict = ChangeVerdict::NotFound;
        change.detail = "no answer from this MAC address; nothing sent";
        return change;
    }
    const SessionReply& first = *answers.front();
    std::vector<std::string> where{first.interfaceName};
    bool otherInterface = false;
    bool differing = false;   // two devices with one MAC behind one interface
    for (const SessionReply* answer : answers) {
        if (answer->interfaceIndex != first.interfaceIndex) {
            otherInterface = true;
            if (std::find(where.begin(), where.end(), answer->interfaceName) == where.end())
                where.push_back(answer->interfaceName);
        } else if (answer->reply.ipAddress != first.reply.ipAddress || answer->reply.ipMask != first.reply.ipMask) {
            differing = true;
        }
    }
    if (otherInterface || differing) {
        change.verdict = ChangeVerdict::Ambiguous;
        std::string names;
        for (const std::string& name : where)
            names += (names.empty() ? "" : " and ") + name;
        change.detail = !otherInterface ? "devices with different values answer with this MAC address on " + names +
                                              "; nothing sent"
                                        : "answers on " + names + "; choose one with --interface; nothing sent";
        return change;
    }

    PlannedChange planned = Plan(first.reply, first.interfaceIndex, request.address,
                                 request.maskGiven ? request.mask : first.reply.ipMask);
    planned.request = request;
    planned.interfaceName = first.interfaceName;
    if (planned.verdict == ChangeVerdict::InvalidMask && !request.maskGiven)
        planned.detail = "the device's own mask is refused by the rules; give a mask; nothing sent";
    return planned;
}

PlannedChange CScanSession::Plan(const DISCOVERY_PACKET& device, unsigned interfaceIndex, const IpOctets& address,
                                 const IpOctets& mask)
{
    PlannedChange change;
    change.request = {device.macAddress, address, mask, true};
    change.found = true;
    change.device = device;
    change.interfaceIndex = interfaceIndex;
    change.newMask = mask;
    AddressChangePlan plan = PlanAddressChange(device, address, mask);
    switch (plan.verdict) {
    case AddressChangeVerdict::InvalidAddress:
        change.verdict = ChangeVerdict::InvalidAddress;
        change.detail = "nothing sent";
        break;
    case AddressChangeVerdict::InvalidMask:
        change.verdict = ChangeVerdict::InvalidMask;
        change.detail = "nothing sent";
        break;
    case AddressChangeVerdict::Unchanged:
        change.verdict = ChangeVerdict::Unchanged;
        break;
    case AddressChangeVerdict::Send:
        change.verdict = ChangeVerdict::Send;
        change.datagrams = std::move(plan.datagrams);
        break;
    }
    return change;
}

bool CScanSession::Send(PlannedChange& change)
{
    if (change.verdict != ChangeVerdict::Send)
        return false;
    for (change.sent = 0; change.sent < change.datagrams.size(); ++change.sent)
        if (!m_network.SendOnInterface(change.datagrams[change.sent], change.interfaceIndex))
            return false;
    return true;
}

void CScanSession::Confirm(std::vector<PlannedChange>& changes, int timeoutMs, int windowMs)
{
    const double deadline = m_clock.NowMs() + timeoutMs;
    const Enough allShown = [&](const std::vector<SessionReply>& replies) {
        bool allDone = true;
        for (PlannedChange& change : changes) {
            if (!Awaited(change))
                continue;
            change.confirmed = std::any_of(replies.begin(), replies.end(),
                                           [&](const SessionReply& reply) { return ShowsNewValues(change, reply); });
            allDone = allDone && change.confirmed;
        }
        return allDone;
    };
    for (;;) {
        // Only the interfaces of the changes still awaited are probed again.
        std::vector<unsigned> toProbe;
        for (const PlannedChange& change : changes)
            if (Awaited(change) &&
                std::find(toProbe.begin(), toProbe.end(), change.interfaceIndex) == toProbe.end())
                toProbe.push_back(change.interfaceIndex);
        const double left = deadline - m_clock.NowMs();
        if (toProbe.empty() || left <= 0)
            return;

        std::string error;
        std::vector<NetworkInterface> listed;
        if (m_network.ListInterfaces(listed, error))
            m_listed = listed;
        m_network.DiscardPending(DISCARD_LIMIT_BEFORE_PROBE);
        int sent = 0;
        for (unsigned index : toProbe)
            sent += m_network.SendOnInterface(BuildProbe(), index) ? 1 : 0;
        // With no probe out (the interfaces are gone) no answer can come: no busy loop till the deadline.
        if (sent == 0)
            return;

        ScanRound round;
        Collect(m_clock.NowMs() + std::min<double>(left, windowMs), allShown, round);
    }
}
