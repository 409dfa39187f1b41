#pragma once
// The one way every front end finds, changes and confirms devices: the window's
// controller, corvane-scan and corvane-set. Over ProbeNetwork, whose sends read the
// interfaces afresh from its interface source: a probe out of every interface usable
// at that moment, replies kept with the interface each came in by under the list's
// rules, an address change planned by the rules, sent out of its device's interface
// and confirmed by rescanning it.

#include "address_rules.h"
#include "discovery_packet.h"
#include "probe_interfaces.h"
#include "probe_network.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Milliseconds on a clock that only goes forward; the tools' scan windows run by it.
class SessionClock {
public:
    virtual double NowMs() = 0;

protected:
    ~SessionClock() = default;
};
SessionClock& SteadyClock();

enum class ProbeEnd {
    Sent,          // at least one probe went out
    NotListed,     // the interfaces could not be listed: nothing sent, the sockets kept
    NoInterface,   // none usable: nothing sent
    NotSent,       // usable interfaces, but no probe could be handed to the system
};

struct ProbeReport {
    ProbeEnd end = ProbeEnd::NotSent;
    int sent = 0;
    std::vector<NetworkInterface> probed;   // as listed just before the probe
    std::vector<NetworkInterface> listed;   // the whole list then, every address of each interface
    std::string error;                      // why, unless Sent
};

struct SessionReply {
    DISCOVERY_PACKET reply;
    unsigned interfaceIndex = 0;   // where it came in; 0 if unknown
    std::string interfaceName;     // empty if unknown
};

struct ScanRound {
    ProbeReport probe;
    std::vector<SessionReply> replies;   // in arrival order, at most MAX_DEVICE_ROWS
    double firstProbeMs = 0;
    double lastReplyMs = 0;             // firstProbeMs while none came
};

// One device to be changed: its new address, and its new mask or the one it reports.
struct ChangeRequest {
    MacOctets mac{};
    IpOctets address{};
    IpOctets mask{};
    bool maskGiven = false;
};

enum class ChangeVerdict {
    NotFound,         // no answer from this MAC
    Ambiguous,        // answers on several interfaces, or differing ones on one
    InvalidAddress,   // refused by the address rules
    InvalidMask,      // refused by the mask rules (also the device's own mask, when none was given)
    Unchanged,        // the device already has these values
    Send,             // `datagrams` are to go out
};

struct PlannedChange {
    ChangeRequest request;
    ChangeVerdict verdict = ChangeVerdict::NotFound;
    std::string detail;                      // why, for a refusal
    bool found = false;                      // `device` is the one reply chosen
    DISCOVERY_PACKET device{};
    unsigned interfaceIndex = 0;
    std::string interfaceName;
    IpOctets newMask{};                      // given, or the device's own when found
    std::vector<DISCOVERY_PACKET> datagrams; // in sending order
    std::size_t sent = 0;                    // how many of them went out, from the first
    bool confirmed = false;                  // a rescan showed the new values

    bool SentWhole() const { return !datagrams.empty() && sent == datagrams.size(); }
};

class CScanSession {
public:
    explicit CScanSession(ProbeNetwork& network, SessionClock& clock = SteadyClock(), std::string onlyInterface = {});

    // Drops what waits from earlier scans (at most DISCARD_LIMIT_BEFORE_PROBE), then
    // sends the probe out of every interface usable now. When the interfaces cannot be
    // listed nothing is dropped or sent.
    ProbeReport Probe();
    // A probe, then the replies for `windowMs` after it, or until `enough` says so.
    using Enough = std::function<bool(const std::vector<SessionReply>& soFar)>;
    ScanRound Scan(int windowMs, const Enough& enough = {});

    // The change a request asks of the replies found, by the window's rules; `found` is
    // a scan's replies. A MAC that answers on two interfaces is refused.
    static PlannedChange Plan(const ChangeRequest& request, const std::vector<SessionReply>& found);
    // The window's change of one chosen record: the rules only.
    static PlannedChange Plan(const DISCOVERY_PACKET& device, unsigned interfaceIndex, const IpOctets& address,
                              const IpOctets& mask);
    // Sends a planned change out of its device's interface, set-IP before set-mask, and
    // stops at the first datagram that cannot go out: a mask must never follow an
    // address the device did not get. Returns true when the whole change went out.
    bool Send(PlannedChange& change);
    // Rescans the interfaces of the changes sent whole and not yet confirmed, each scan
    // window at most `windowMs`, until every one shows its new values or `timeoutMs`
    // has passed.
    void Confirm(std::vector<PlannedChange>& changes, int timeoutMs, int windowMs);

private:
    // Reads replies into `round` until `windowEnd` or until `enough` says so.
    void Collect(double windowEnd, const Enough& enough, ScanRound& round);
    std::string InterfaceName(unsigned index) const;

    ProbeNetwork& m_network;
    SessionClock& m_clock;
    std::string m_onlyInterface;
    std::vector<NetworkInterface> m_listed;   // as at the last probe: names the arrival interfaces
};
