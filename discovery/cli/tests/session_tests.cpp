// corvane-set's rules through the scan session, without root: a scripted LAN plays the
// devices behind each interface and records every datagram as it is sent, and a clock
// of its own runs the windows. Then the session over the real socket layer on loopback,
// when the interface list cannot be read.

#include "address_conflicts.h"
#include "probe_socket.h"
#include "scan_output.h"
#include "scan_session.h"
#include "scripted_interfaces.h"
#include "set_devices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

class ScriptedClock final : public SessionClock {
public:
    double NowMs() override { return now; }
    double now = 1000;
};

struct SentDatagram {
    std::uint16_t command;
    unsigned via;
    DISCOVERY_PACKET packet;
};

// Devices behind the interfaces of an InterfaceSource, answering each probe at once;
// a set command is applied by the device it names behind the interface it went out of.
class DeviceLan final : public ProbeNetwork {
public:
    DeviceLan(InterfaceSource& interfaces, ScriptedClock& clock) : m_interfaces(interfaces), m_clock(clock) {}

    bool Open(std::string&) override { return true; }
    bool IsOpen() const override { return true; }
    void Close() override {}
    bool ListInterfaces(std::vector<NetworkInterface>& listed, std::string& error) override
    {
        listed.clear();
        return m_interfaces.List(listed, error);
    }
    int SendOnEveryInterface(const DISCOVERY_PACKET& packet) override
    {
        std::vector<NetworkInterface> listed;
        std::string error;
        if (!ListInterfaces(listed, error))
            return INTERFACES_NOT_LISTED;
        int handed = 0;
        for (const NetworkInterface& via : ChooseProbeInterfaces(listed))
            handed += Carry(packet, via.index) ? 1 : 0;
        return handed;
    }
    bool SendOnInterface(const DISCOVERY_PACKET& packet, unsigned interfaceIndex) override
    {
        std::vector<NetworkInterface> listed;
        std::string error;
        if (!ListInterfaces(listed, error))
            return false;
        const NetworkInterface* via = FindInterface(listed, interfaceIndex);
        return via != nullptr && WhyNotProbed(*via).empty() && Carry(packet, interfaceIndex);
    }
    std::int64_t Receive(DISCOVERY_PACKET& row, unsigned& arrivalInterface) override
    {
        if (m_waiting.empty())
            return -1;
        std::tie(row, arrivalInterface) = m_waiting.front();
        m_waiting.pop_front();
        return 20;
    }
    int DiscardPending(int limit) override
    {
        int discarded = 0;
        for (; discarded < limit && !m_waiting.empty(); ++discarded)
            m_waiting.pop_front();
        return discarded;
    }
    // Nothing waits: the time asked for passes.
    bool WaitReadable(int milliseconds) override
    {
        if (m_waiting.empty())
            m_clock.now += milliseconds;
        return !m_waiting.empty();
    }

    struct Device {
        DISCOVERY_PACKET record;
        unsigned behind;
        bool ignoresSets = false;
    };
    std::vector<Device> devices;
    std::vector<SentDatagram> sent;
    int sendsLeft = -1;   // from 0, every send fails; negative: no limit

    std::vector<SentDatagram> Commands() const
    {
        std::vector<SentDatagram> commands;
        std::copy_if(sent.begin(), sent.end(), std::back_inserter(commands),
                     [](const SentDatagram& d) { return d.command != CMD_DISCOVER; });
        return commands;
    }

private:
    bool Carry(const DISCOVERY_PACKET& packet, unsigned via)
    {
        if (sendsLeft == 0)
            return false;
        if (sendsLeft > 0)
            --sendsLeft;
        sent.push_back({CommandOf(packet), via, packet});
        for (Device& device : devices) {
            if (device.behind != via)
                continue;
            const bool named = packet.macAddress == device.record.macAddress && !device.ignoresSets;
            if (CommandOf(packet) == CMD_DISCOVER)
                m_waiting.emplace_back(device.record, via);
            else if (CommandOf(packet) == CMD_SET_IP && named)
                device.record.ipAddress = packet.ipAddress;
            else if (CommandOf(packet) == CMD_SET_MASK && named)
                device.record.ipMask = packet.ipMask;
        }
        return true;
    }

    InterfaceSource& m_interfaces;
    ScriptedClock& m_clock;
    std::deque<std::pair<DISCOVERY_PACKET, unsigned>> m_waiting;
};

DISCOVERY_PACKET Record(IpOctets address, std::uint8_t macLast)
{
    DISCOVERY_PACKET record = BuildProbe();
    record.ipAddress = address;
    record.ipMask = {255, 255, 255, 0};
    record.macAddress = {2, 0xC0, 0x4E, 0, 0, macLast};
    return record;
}

const char MAC_ONE[] = "02-C0-4E-00-00-01";
const char MAC_TWO[] = "02-C0-4E-00-00-02";

class SetThroughTheSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_interfaces.listed = {ScriptedLan("lan3", 3, {10, 231, 1, 1}), ScriptedLan("lan4", 4, {10, 231, 2, 1})};
        m_lan.devices = {{Record({10, 231, 1, 100}, 1), 3}, {Record({10, 231, 2, 100}, 2), 4}};
    }
    SetRun Run(std::vector<std::string> change, const std::string& onlyInterface = {}, bool json = false)
    {
        SetOptions options;
        options.change = std::move(change);
        options.interfaceName = onlyInterface;
        options.json = json;
        return RunWith(options);
    }
    SetRun RunWith(SetOptions options)
    {
        const std::string onlyInterface = options.interfaceName;
        options.timeoutMs = 3000;
        OnlyInterface only(m_interfaces, onlyInterface);
        InterfaceSource& source = onlyInterface.empty() ? static_cast<InterfaceSource&>(m_interfaces) : only;
        DeviceLan lan(source, m_clock);
        lan.devices = m_lan.devices;
        lan.sendsLeft = m_lan.sendsLeft;
        CScanSession session(lan, m_clock, onlyInterface);
        SetRun run = SetDevices(session, options);
        m_lan.devices = lan.devices;
        m_lan.sent = lan.sent;
        return run;
    }
    bool OnlyProbesSent() const { return m_lan.Commands().empty() && !m_lan.sent.empty(); }

    ScriptedInterfaces m_interfaces;
    ScriptedClock m_clock;
    DeviceLan m_lan{m_interfaces, m_clock};   // the devices' state between runs, and what the last run sent
};

TEST_F(SetThroughTheSession, AnUnknownMacSendsNothingAndEndsWith1)
{
    const SetRun run = Run({"02-C0-4E-00-00-09", "10.231.1.50"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.report.find("not found"), std::string::npos) << run.report;
    EXPECT_TRUE(OnlyProbesSent());
}

TEST_F(SetThroughTheSession, AMacOnTwoInterfacesIsRefusedUnlessTheInterfaceIsChosen)
{
    m_lan.devices.push_back({Record({10, 231, 2, 77}, 1), 4});   // MAC_ONE behind both
    SetRun run = Run({MAC_ONE, "10.231.1.50"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.report.find("ambiguous: answers on lan3 and lan4"), std::string::npos) << run.report;
    EXPECT_TRUE(OnlyProbesSent());

    run = Run({MAC_ONE, "10.231.2.50"}, "lan4");
    EXPECT_EQ(run.status, 0) << run.report;
    for (const SentDatagram& datagram : m_lan.sent)
        EXPECT_EQ(datagram.via, 4u) << "sent out of an interface not chosen";
    EXPECT_EQ(m_lan.devices[2].record.ipAddress, (IpOctets{10, 231, 2, 50}));
    EXPECT_EQ(m_lan.devices[0].record.ipAddress, (IpOctets{10, 231, 1, 100}));
}

TEST_F(SetThroughTheSession, AnUnchangedValueSendsNothing)
{
    const SetRun run = Run({MAC_TWO, "10.231.2.100", "255.255.255.0"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.report.find("unchanged"), std::string::npos) << run.report;
    EXPECT_TRUE(OnlyProbesSent());
}

TEST_F(SetThroughTheSession, AListIsCheckedWholeBeforeAnythingIsSent)
{
    const std::string name = ::testing::TempDir() + "corvane-set-list.txt";
    std::FILE* file = std::fopen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("02-C0-4E-00-00-01 10.231.1.50\n02-C0-4E-00-00-02 10.231.2.255\n", file);
    std::fclose(file);
    SetOptions options;
    options.fromGiven = true;
    options.fromFile = name;
    DeviceLan lan(m_interfaces, m_clock);
    lan.devices = m_lan.devices;
    CScanSession session(lan, m_clock);
    const SetRun run = SetDevices(session, options);
    std::remove(name.c_str());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.error, "line 2: Invalid IP address: 10.231.2.255");
    EXPECT_TRUE(lan.sent.empty()) << "not even a probe may go out";
}

TEST_F(SetThroughTheSession, SetIpThenSetMaskOutOfTheDevicesInterfaceConfirmedByItsRescan)
{
    const SetRun run = Run({MAC_TWO, "10.231.2.60", "255.255.0.0"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.report.find("confirmed on lan4 (set-ip, set-mask)"), std::string::npos) << run.report;
    const std::vector<SentDatagram> commands = m_lan.Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].command, CMD_SET_IP);
    EXPECT_EQ(commands[1].command, CMD_SET_MASK);
    EXPECT_EQ(commands[1].packet.ipAddress, (IpOctets{10, 231, 2, 60})) << "the mask carries the new address";
    EXPECT_EQ(commands[0].via, 4u);
    EXPECT_EQ(commands[1].via, 4u);
    // The rescan probes the changed device's interface only.
    ASSERT_EQ(m_lan.sent.back().command, CMD_DISCOVER);
    EXPECT_EQ(m_lan.sent.back().via, 4u);
}

// A change that cannot go out whole stops at its first datagram that fails: no mask
// for an address the device never got, and the report names what went out.
TEST_F(SetThroughTheSession, AChangeStopsAtItsFirstDatagramThatCannotGoOut)
{
    m_lan.sendsLeft = 2;   // the two probes of the first scan, then nothing
    SetRun run = Run({MAC_TWO, "10.231.2.60", "255.255.0.0"}, {}, true);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(m_lan.Commands().empty());
    EXPECT_NE(run.report.find("\"commands\": []"), std::string::npos) << run.report;
    EXPECT_NE(run.report.find("set-ip and set-mask could not be sent"), std::string::npos) << run.report;

    m_lan.sendsLeft = 3;   // the set-IP goes, the set-mask does not
    run = Run({MAC_TWO, "10.231.2.60", "255.255.0.0"}, {}, true);
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(m_lan.Commands().size(), 1u);
    EXPECT_EQ(m_lan.Commands()[0].command, CMD_SET_IP);
    EXPECT_NE(run.report.find("\"commands\": [\"set-ip\"]"), std::string::npos) << run.report;
    EXPECT_NE(run.report.find("\"status\": \"not confirmed\""), std::string::npos) << run.report;
    EXPECT_NE(run.report.find("set-mask could not be sent"), std::string::npos) << run.report;
}

TEST_F(SetThroughTheSession, ADeviceThatIgnoresTheChangeIsNotConfirmedOnceTheTimeIsUp)
{
    m_lan.devices[1].ignoresSets = true;
    const double start = m_clock.now;
    const SetRun run = Run({MAC_TWO, "10.231.2.60"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.report.find("not confirmed on lan4 (set-ip)"), std::string::npos) << run.report;
    EXPECT_GE(m_clock.now - start, 3000) << "gave up before the time given";
    const auto rescans = std::count_if(m_lan.sent.begin(), m_lan.sent.end(),
                                       [](const SentDatagram& d) { return d.command == CMD_DISCOVER && d.via == 4; });
    EXPECT_GT(rescans, 2) << "rescanned only once";
}

using namespace std::string_literals;

SetOptions Renumbering(IpOctets from, IpOctets first, bool dryRun = false)
{
    SetOptions options;
    options.renumber = options.firstGiven = true;
    options.renumberFrom = from;
    options.first = first;
    options.dryRun = dryRun;
    return options;
}

// Five devices shipped at one address, and one already at the first address of the range.
class RenumberThroughTheSession : public SetThroughTheSession {
protected:
    void SetUp() override
    {
        SetThroughTheSession::SetUp();   // MAC 1 at 10.231.1.100 behind lan3
        for (std::uint8_t mac : {5, 3, 6, 4})
            m_lan.devices.push_back({Record({10, 231, 1, 100}, mac), 3});
        m_lan.devices.push_back({Record({10, 231, 1, 20}, 9), 3});
    }
};

TEST_F(RenumberThroughTheSession, TheBatchGetsTheRangeInMacOrderAroundAnAddressInUseEachConfirmed)
{
    const SetRun run = RunWith(Renumbering({10, 231, 1, 100}, {10, 231, 1, 20}));
    EXPECT_EQ(run.status, 0) << run.report << run.error;
    const std::vector<SentDatagram> commands = m_lan.Commands();
    const std::vector<std::uint8_t> macOrder = {1, 3, 4, 5, 6};
    ASSERT_EQ(commands.size(), macOrder.size()) << "one set-ip each, the mask kept";
    for (std::size_t i = 0; i < macOrder.size(); ++i) {
        EXPECT_EQ(commands[i].command, CMD_SET_IP);
        EXPECT_EQ(commands[i].packet.macAddress[5], macOrder[i]);
        EXPECT_EQ(commands[i].packet.ipAddress, (IpOctets{10, 231, 1, std::uint8_t(21 + i)}));
    }
    EXPECT_EQ(std::count(run.report.begin(), run.report.end(), '\n'), 5);
    EXPECT_NE(run.report.find("02-C0-4E-00-00-06 10.231.1.100 255.255.255.0 -> 10.231.1.25 255.255.255.0 "
                              "confirmed on lan3 (set-ip)"),
              std::string::npos)
        << run.report;
    EXPECT_EQ(m_lan.devices.back().record.ipAddress, (IpOctets{10, 231, 1, 20})) << "the device in the way moved";
}

TEST_F(RenumberThroughTheSession, ARangeTooShortOrADryRunSendsNothing)
{
    SetOptions options = Renumbering({10, 231, 1, 100}, {10, 231, 1, 252});
    options.mask = {255, 255, 255, 0};
    options.maskGiven = true;
    SetRun run = RunWith(options);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.error, "the range from 10.231.1.252 runs out of the subnet 10.231.1.0 mask 255.255.255.0 "
                         "after 3 of 5 devices; nothing sent");
    EXPECT_TRUE(OnlyProbesSent());

    run = RunWith(Renumbering({10, 231, 1, 100}, {10, 231, 1, 20}, true));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(std::count(run.report.begin(), run.report.end(), '\n'), 5);
    EXPECT_NE(run.report.find("-> 10.231.1.21 255.255.255.0 would send on lan3 (set-ip)"), std::string::npos)
        << run.report;
    EXPECT_TRUE(OnlyProbesSent());

    run = RunWith(Renumbering({10, 231, 1, 99}, {10, 231, 1, 20}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.error, "no device answered with 10.231.1.99; nothing sent");
}

// No mode may make two hosts share an address: refused with 2 before any set command,
// a list's own faults before even the scan.
TEST_F(SetThroughTheSession, AChangeToAnAddressInUseIsRefusedInEveryMode)
{
    const struct {
        std::string list;   // empty: the single change below
        std::vector<std::string> change;
        bool dryRun;
        std::string error;
        bool probed;
    } cases[] = {
        {"02-C0-4E-00-00-01 10.231.1.50\n# spare\n02-C0-4E-00-00-02 10.231.1.50\n", {}, false,
         "line 3: 10.231.1.50 is already given to 02-C0-4E-00-00-01 on line 1", false},
        {"02-C0-4E-00-00-01 10.231.1.50\n02-C0-4E-00-00-02 10.231.2.60\0 255.0.0.0\n"s, {}, true,
         "line 2: the line holds a NUL character", false},
        {"02-C0-4E-00-00-02 10.231.2.60\n02-C0-4E-00-00-01 10.231.2.100\n", {}, false,
         "line 2: 02-C0-4E-00-00-01: 10.231.2.100 is the address of 02-C0-4E-00-00-02 on lan4; nothing sent", true},
        {{}, {MAC_ONE, "10.231.2.100"}, true,
         "02-C0-4E-00-00-01: 10.231.2.100 is the address of 02-C0-4E-00-00-02 on lan4; nothing sent", true},
        {{}, {MAC_ONE, "10.231.1.1"}, false, "02-C0-4E-00-00-01: 10.231.1.1 is this PC's address on lan3; nothing sent",
         true},
    };
    const std::string name = ::testing::TempDir() + "corvane-set-conflict.txt";
    for (const auto& c : cases) {
        SetOptions options;
        options.change = c.change;
        options.dryRun = c.dryRun;
        if (!c.list.empty()) {
            std::FILE* file = std::fopen(name.c_str(), "wb");
            ASSERT_NE(file, nullptr);
            std::fwrite(c.list.data(), 1, c.list.size(), file);
            std::fclose(file);
            options.fromGiven = true;
            options.fromFile = name;
        }
        const SetRun run = RunWith(options);
        EXPECT_EQ(run.status, 2) << c.error;
        EXPECT_EQ(run.error, c.error);
        EXPECT_TRUE(m_lan.Commands().empty()) << c.error;
        EXPECT_EQ(!m_lan.sent.empty(), c.probed) << c.error;
    }
    std::remove(name.c_str());
}

// corvane-scan's notes from a scan through the session: two devices at one address
// behind lan3 (and one at that address behind lan4, which shares nothing), and one
// behind lan4 outside every subnet of its addresses.
TEST(ScanNotesThroughTheSession, SharedAddressesAndAddressesOutsideTheSubnetsInTextAndJson)
{
    ScriptedInterfaces interfaces;
    interfaces.listed = {ScriptedLan("lan3", 3, {10, 231, 1, 1}), ScriptedLan("lan4", 4, {10, 231, 2, 1}),
                         ScriptedLan("lan4", 4, {192, 168, 9, 1})};
    interfaces.listed[1].mask = {255, 255, 255, 0};
    interfaces.listed[2].mask = {255, 255, 255, 0};
    ScriptedClock clock;
    DeviceLan lan(interfaces, clock);
    lan.devices = {{Record({10, 231, 1, 100}, 1), 3}, {Record({10, 231, 1, 100}, 2), 3},
                   {Record({10, 231, 1, 100}, 3), 4}, {Record({192, 168, 9, 7}, 4), 4}, {Record({10, 231, 2, 9}, 5), 4}};
    CScanSession session(lan, clock);
    const ScanRound round = session.Scan(500);
    ASSERT_EQ(round.replies.size(), 5u);
    const std::vector<AddressFindings> findings = FindAddressProblems(round.replies, round.probe.listed);
    std::vector<FoundDevice> found;
    for (std::size_t i = 0; i < round.replies.size(); ++i)
        found.push_back({round.replies[i].reply, round.replies[i].interfaceName, findings[i]});
    found = SortedAsListed(found);
    EXPECT_EQ(FormatAddressNotes(found),
              "note: 02-C0-4E-00-00-01 on lan3 shares its address 10.231.1.100 with 02-C0-4E-00-00-02\n"
              "note: 02-C0-4E-00-00-02 on lan3 shares its address 10.231.1.100 with 02-C0-4E-00-00-01\n"
              "note: 02-C0-4E-00-00-03 on lan4: 10.231.1.100 is outside every subnet of lan4\n");
    const std::string json = FormatJson(found);
    EXPECT_NE(json.find("\"mac\": \"02-C0-4E-00-00-01\", \"deviceId\": 0, \"interface\": \"lan3\", "
                        "\"sharesAddressWith\": [\"02-C0-4E-00-00-02\"], \"outsideSubnets\": false}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"interface\": \"lan4\", \"sharesAddressWith\": [], \"outsideSubnets\": true}"),
              std::string::npos)
        << json;
    EXPECT_EQ(std::count(json.begin(), json.end(), '{'), 5);
}

// The interface list cannot be read: not an empty network. The sockets stay, and the
// tools end with 2 and the reason; an empty list closes them and sends nothing.
TEST(SessionOverTheSockets, AFailedListingKeepsTheSocketsAndAnEmptyOneClosesThem)
{
    ScriptedInterfaces interfaces;
    interfaces.listed = {ScriptedLan("lan0", 7, {127, 0, 0, 2}), ScriptedLan("lan1", 8, {127, 0, 0, 3})};
    ProbeEndpoints endpoints;
    endpoints.destination = {127, 0, 0, 1};
    endpoints.destinationPort = 9;   // nothing listens: the sends go out, and no reply comes
    endpoints.interfaces = &interfaces;
    endpoints.policy = SendPolicy::SocketPerInterface;
    ProbeSocket socket(endpoints);
    std::string error;
    ASSERT_TRUE(socket.Open(error)) << error;
    CScanSession session(socket);
    ASSERT_EQ(session.Probe().end, ProbeEnd::Sent);
    const std::vector<SocketHandle> before = socket.Handles();
    ASSERT_EQ(before.size(), 2u);

    interfaces.failing = true;
    const ProbeReport report = session.Probe();
    EXPECT_EQ(report.end, ProbeEnd::NotListed);
    EXPECT_EQ(report.sent, 0);
    EXPECT_EQ(socket.Handles(), before) << "the sockets went with a list that could not be read";
    SetOptions options;
    options.change = {MAC_ONE, "10.231.1.50"};
    const SetRun run = SetDevices(session, options);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.error, "cannot list the network interfaces: the list cannot be read");

    interfaces.failing = false;
    interfaces.listed.clear();
    const ProbeReport empty = session.Probe();
    EXPECT_EQ(empty.end, ProbeEnd::NoInterface);
    EXPECT_EQ(empty.sent, 0);
    EXPECT_EQ(empty.error.rfind("no usable network interface", 0), 0u) << empty.error;
    EXPECT_TRUE(socket.Handles().empty()) << "an empty list keeps sockets";
}

} // namespace
