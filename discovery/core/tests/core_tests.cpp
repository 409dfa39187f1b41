#include "address_rules.h"
#include "command_line.h"
#include "device_line.h"
#include "discovery_packet.h"
#include "dotted_quad.h"
#include "probe_interfaces.h"
#include "scan_state.h"
#include "web_page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const DISCOVERY_PACKET& packet)
{
    std::vector<std::uint8_t> bytes(sizeof packet);
    std::memcpy(bytes.data(), &packet, sizeof packet);
    return bytes;
}

DISCOVERY_PACKET FromBytes(const std::vector<std::uint8_t>& bytes)
{
    DISCOVERY_PACKET packet{};
    std::memcpy(&packet, bytes.data(), sizeof packet);
    return packet;
}

DISCOVERY_PACKET Device(IpOctets address, IpOctets mask, MacOctets mac = {0, 0x11, 0x22, 0x33, 0x44, 0x55},
                        std::uint16_t id = 1)
{
    DISCOVERY_PACKET packet = BuildProbe();
    packet.ipAddress = address;
    packet.ipMask = mask;
    packet.macAddress = mac;
    packet.deviceId = ToWireOrder16(id);
    return packet;
}

TEST(DiscoveryPacket, ProbeAndSetCommandsAreLaidOutByteForByte)
{
    EXPECT_EQ(Bytes(BuildProbe()),
              (std::vector<std::uint8_t>{0x43, 0x21, 0x30, 0x39, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const MacOctets mac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    EXPECT_EQ(Bytes(BuildSetIp({10, 0, 0, 7}, mac)),
              (std::vector<std::uint8_t>{0x43, 0x21, 0x30, 0x3A, 10, 0, 0, 7, 0, 0, 0, 0,
                                         0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0, 0}));
    EXPECT_EQ(Bytes(BuildSetMask({10, 0, 0, 7}, {255, 255, 0, 0}, mac)),
              (std::vector<std::uint8_t>{0x43, 0x21, 0x30, 0x3B, 10, 0, 0, 7, 255, 255, 0, 0,
                                         0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0, 0}));
}

TEST(DiscoveryPacket, SixteenBitFieldsAreBigEndian)
{
    EXPECT_EQ(SwapBytes16(0x1234), 0x3412);
    std::vector<std::uint8_t> bytes(20, 0);
    bytes[18] = 0x01;
    bytes[19] = 0x02;
    EXPECT_EQ(DeviceIdOf(FromBytes(bytes)), 258);
}

TEST(DiscoveryPacket, OnlyTheCommandMakesAReply)
{
    std::vector<std::uint8_t> bytes(20, 0xAB);
    bytes[0] = bytes[1] = 0;   // magic is not looked at
    bytes[2] = 0x30;
    bytes[3] = 0x39;
    EXPECT_TRUE(IsDiscoveryReply(FromBytes(bytes)));
    bytes[2] = 0x39;           // the code in the wrong byte order
    bytes[3] = 0x30;
    EXPECT_FALSE(IsDiscoveryReply(FromBytes(bytes)));
    EXPECT_FALSE(IsDiscoveryReply(BuildSetIp({1, 2, 3, 4}, {})));
    EXPECT_FALSE(IsDiscoveryReply(BuildSetMask({1, 2, 3, 4}, {255, 0, 0, 0}, {})));
    EXPECT_TRUE(IsWholeDatagram(20));
    for (std::int64_t size : {-1, 0, 19, 21, 4096})
        EXPECT_FALSE(IsWholeDatagram(size)) << size;
}

TEST(DottedQuad, StrictParsing)
{
    EXPECT_EQ(ParseDottedQuad("10.0.0.1"), (IpOctets{10, 0, 0, 1}));
    EXPECT_EQ(ParseDottedQuad("223.255.255.254"), (IpOctets{223, 255, 255, 254}));
    EXPECT_EQ(ParseDottedQuad("010.001.0.9"), (IpOctets{10, 1, 0, 9})) << "leading zeros stay decimal";
    EXPECT_EQ(ParseDottedQuad("10.0.0.1   "), (IpOctets{10, 0, 0, 1})) << "trailing blanks are allowed";
    for (const char* bad : {"", "256.1.1.1", "1.2.3", "1.2.3.4.5", "1..2.3", "1.2.3.4x", " 10.0.0.1",
                            "1.2.3.1000", "0010.0.0.1", "10.0.0.1\t", "10.0.0.1  x", "+1.2.3.4",
                            "-1.2.3.4", "1.2.3.", "a.b.c.d", "1.2.3.256"})
        EXPECT_EQ(ParseDottedQuad(bad), IpOctets{}) << '"' << bad << '"';
    EXPECT_EQ(ParseDottedQuad(nullptr), IpOctets{});
    EXPECT_EQ(FormatDottedQuad({192, 168, 1, 0}), "192.168.1.0");
    EXPECT_EQ(FormatDottedQuad({255, 255, 255, 255}), "255.255.255.255");
}

TEST(DeviceLine, FixedColumnsOfFiftySixCharacters)
{
    const DISCOVERY_PACKET device =
        Device({192, 168, 1, 100}, {255, 255, 255, 0}, {0x00, 0x0A, 0xBC, 0x01, 0x02, 0xEF}, 1);
    EXPECT_EQ(FormatDeviceLine(device), "192.168.1.100   255.255.255.0   00-0A-BC-01-02-EF      1");

    const DISCOVERY_PACKET widest =
        Device({255, 255, 255, 255}, {255, 255, 255, 255}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 65535);
    const DISCOVERY_PACKET narrowest = Device({0, 0, 0, 0}, {0, 0, 0, 0}, {}, 0);
    for (const DISCOVERY_PACKET& d : {device, widest, narrowest}) {
        const std::string line = FormatDeviceLine(d);
        ASSERT_EQ(line.size(), DEVICE_LINE_LENGTH) << line;
        EXPECT_EQ(line[15], ' ');
        EXPECT_EQ(line[31], ' ');
        EXPECT_EQ(line[49], ' ');
    }
    EXPECT_EQ(FormatDeviceLine(widest), "255.255.255.255 255.255.255.255 FF-FF-FF-FF-FF-FF  65535");
}

TEST(WebPage, AddressAsHostWithoutPath)
{
    EXPECT_EQ(WebPageUrl({10, 0, 0, 10}), "http://10.0.0.10");
}

TEST(AddressRules, AddressesAndMasks)
{
    for (IpOctets good : {IpOctets{10, 0, 0, 1}, IpOctets{192, 168, 1, 0}, IpOctets{223, 255, 255, 254},
                          IpOctets{0, 1, 2, 3}, IpOctets{126, 255, 255, 254}, IpOctets{128, 0, 0, 1}})
        EXPECT_TRUE(IsAcceptableAddress(good)) << FormatDottedQuad(good);
    for (IpOctets bad : {IpOctets{0, 0, 0, 0}, IpOctets{127, 0, 0, 1}, IpOctets{224, 0, 0, 1},
                         IpOctets{255, 255, 255, 255}, IpOctets{10, 0, 0, 255}})
        EXPECT_FALSE(IsAcceptableAddress(bad)) << FormatDottedQuad(bad);
    for (IpOctets good : {IpOctets{255, 255, 255, 0}, IpOctets{255, 0, 0, 0}, IpOctets{255, 255, 255, 255},
                          IpOctets{255, 0, 255, 0}})
        EXPECT_TRUE(IsAcceptableMask(good)) << FormatDottedQuad(good);
    for (IpOctets bad : {IpOctets{0, 0, 0, 0}, IpOctets{254, 0, 0, 0}, IpOctets{128, 0, 0, 0},
                         ParseDottedQuad("")})
        EXPECT_FALSE(IsAcceptableMask(bad)) << FormatDottedQuad(bad);
}

TEST(AddressRules, PlanSendsOnlyWhatChangedAndNamesTheDeviceByItsMac)
{
    const MacOctets mac{0x02, 0, 0, 0, 0, 0x07};
    const DISCOVERY_PACKET device = Device({10, 0, 0, 5}, {255, 255, 255, 0}, mac, 9);

    AddressChangePlan plan = PlanAddressChange(device, {10, 0, 0, 5}, {255, 255, 0, 0});
    ASSERT_EQ(plan.verdict, AddressChangeVerdict::Send);
    ASSERT_EQ(plan.datagrams.size(), 1u);
    EXPECT_EQ(Bytes(plan.datagrams[0]), Bytes(BuildSetMask({10, 0, 0, 5}, {255, 255, 0, 0}, mac)));

    plan = PlanAddressChange(device, {10, 0, 0, 6}, {255, 255, 255, 0});
    ASSERT_EQ(plan.datagrams.size(), 1u);
    EXPECT_EQ(Bytes(plan.datagrams[0]), Bytes(BuildSetIp({10, 0, 0, 6}, mac)));

    plan = PlanAddressChange(device, {10, 0, 0, 6}, {255, 0, 0, 0});
    ASSERT_EQ(plan.datagrams.size(), 2u);
    EXPECT_EQ(CommandOf(plan.datagrams[0]), CMD_SET_IP);
    EXPECT_EQ(Bytes(plan.datagrams[1]), Bytes(BuildSetMask({10, 0, 0, 6}, {255, 0, 0, 0}, mac)))
        << "the mask command carries the new address";

    EXPECT_EQ(PlanAddressChange(device, {10, 0, 0, 5}, {255, 255, 255, 0}).verdict, AddressChangeVerdict::Unchanged);
    EXPECT_TRUE(PlanAddressChange(device, {10, 0, 0, 5}, {255, 255, 255, 0}).datagrams.empty());
}

TEST(AddressRules, AddressIsJudgedBeforeMaskAndUnchangedBadValuesAreStillRefused)
{
    const DISCOVERY_PACKET device = Device({10, 0, 0, 5}, {255, 255, 255, 0});
    EXPECT_EQ(PlanAddressChange(device, {}, {}).verdict, AddressChangeVerdict::InvalidAddress);
    EXPECT_EQ(PlanAddressChange(device, {10, 0, 0, 5}, {254, 0, 0, 0}).verdict, AddressChangeVerdict::InvalidMask);

    const DISCOVERY_PACKET oddDevice = Device({10, 0, 0, 255}, {0, 0, 0, 0});
    EXPECT_EQ(PlanAddressChange(oddDevice, oddDevice.ipAddress, oddDevice.ipMask).verdict,
              AddressChangeVerdict::InvalidAddress);
    EXPECT_EQ(PlanAddressChange(oddDevice, {10, 0, 0, 4}, oddDevice.ipMask).verdict,
              AddressChangeVerdict::InvalidMask);
}

// Replays a fixed sequence of reads, as a socket would deliver them.
struct ScriptedReads {
    struct Read { std::int64_t size; DISCOVERY_PACKET packet; unsigned arrivalInterface = 0; };
    std::deque<Read> reads;
    int calls = 0;
    std::int64_t operator()(DISCOVERY_PACKET& row, unsigned& arrivalInterface)
    {
        ++calls;
        if (reads.empty())
            return -1;
        Read r = reads.front();
        reads.pop_front();
        if (IsWholeDatagram(r.size))
            row = r.packet;
        arrivalInterface = r.arrivalInterface;
        return r.size;
    }
};

TEST(ScanState, DrainSkipsOtherCommandsAndStopsAtWrongSizes)
{
    CScanState scan;
    ASSERT_TRUE(scan.BeginScan());
    ScriptedReads reads;
    const DISCOVERY_PACKET a = Device({10, 0, 0, 1}, {255, 0, 0, 0});
    const DISCOVERY_PACKET b = Device({10, 0, 0, 2}, {255, 0, 0, 0});
    reads.reads = {{20, a, 2}, {20, BuildSetIp({1, 1, 1, 1}, {}), 7}, {20, b, 3}, {21, a, 2}, {20, a, 2}};
    std::vector<int> accepted;
    auto onAccepted = [&](int row) { accepted.push_back(row); };

    EXPECT_EQ(scan.ReceiveReplies(std::ref(reads), onAccepted), 2);
    EXPECT_EQ(accepted, (std::vector<int>{0, 1}));
    EXPECT_EQ(scan.m_devices[1].ipAddress, b.ipAddress) << "the skipped datagram's row was reused";
    EXPECT_EQ(scan.RowInterface(0), 2u);
    EXPECT_EQ(scan.RowInterface(1), 3u) << "each row keeps the interface its reply came in by";
    EXPECT_EQ(reads.reads.size(), 1u) << "the drain ends at the 21-byte datagram";

    EXPECT_EQ(scan.ReceiveReplies(std::ref(reads), onAccepted), 1);
    EXPECT_EQ(scan.m_nCount, 3);
}

TEST(ScanState, BatchesReadABoundedNumberAndResumeWhereTheyStopped)
{
    CScanState scan;
    scan.BeginScan();
    ScriptedReads reads;
    const DISCOVERY_PACKET other = BuildSetMask({1, 1, 1, 1}, {255, 0, 0, 0}, {});
    for (std::uint8_t i = 1; i <= 5; ++i) {
        reads.reads.push_back({20, other});
        reads.reads.push_back({20, Device({10, 0, 0, i}, {255, 0, 0, 0})});
    }
    reads.reads.push_back({19, other});
    reads.reads.push_back({20, Device({10, 0, 0, 6}, {255, 0, 0, 0})});
    std::vector<int> accepted;
    auto onAccepted = [&](int row) { accepted.push_back(row); };

    std::vector<DrainEnd> ends;
    std::vector<int> datagrams;
    while (ends.size() < 10 && (ends.empty() || MoreMayWait(ends.back()))) {
        reads.calls = 0;
        const DrainResult batch = scan.ReceiveBatch(std::ref(reads), onAccepted, 3);
        ends.push_back(batch.end);
        datagrams.push_back(batch.datagrams);
        EXPECT_LE(reads.calls, 3);
    }
    EXPECT_EQ(ends, (std::vector<DrainEnd>{DrainEnd::ReadLimit, DrainEnd::ReadLimit, DrainEnd::ReadLimit,
                                           DrainEnd::WrongSize, DrainEnd::NothingWaiting}));
    EXPECT_EQ(datagrams, (std::vector<int>{3, 3, 3, 2, 1})) << "each datagram read counts, the empty read not";
    EXPECT_EQ(accepted, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    for (std::uint8_t i = 0; i < 6; ++i)
        EXPECT_EQ(scan.m_devices[i].ipAddress, (IpOctets{10, 0, 0, std::uint8_t(i + 1)})) << "arrival order";

    scan.m_nCount = MAX_DEVICE_ROWS - 1;
    reads.reads = {{20, Device({10, 0, 1, 1}, {255, 0, 0, 0})}, {20, Device({10, 0, 1, 2}, {255, 0, 0, 0})}};
    const DrainResult full = scan.ReceiveBatch(std::ref(reads), onAccepted, 1);
    EXPECT_EQ(full.added, 1);
    EXPECT_EQ(full.end, DrainEnd::TableFull) << "a full table is no reason to come back";
    EXPECT_FALSE(MoreMayWait(full.end));
}

TEST(ScanState, TableHoldsAtMost255RowsAndStopsReading)
{
    CScanState scan;
    scan.BeginScan();
    ScriptedReads reads;
    for (int i = 0; i < 300; ++i)
        reads.reads.push_back({20, Device({10, 0, 1, static_cast<std::uint8_t>(i % 250 + 1)}, {255, 0, 0, 0})});
    int accepted = 0;
    EXPECT_EQ(scan.ReceiveReplies(std::ref(reads), [&](int) { ++accepted; }), 255);
    EXPECT_EQ(scan.m_nCount, 255);
    EXPECT_EQ(reads.calls, 255) << "no read may happen once the table is full";
    EXPECT_EQ(scan.m_devices[255].ipAddress, IpOctets{}) << "the last slot is never written";
    EXPECT_EQ(scan.ReceiveReplies(std::ref(reads), [&](int) { ++accepted; }), 0);
    EXPECT_EQ(reads.calls, 255);
}

TEST(ScanState, OneScanWindowAtATime)
{
    CScanState scan;
    EXPECT_TRUE(scan.BeginScan());
    scan.m_nCount = 4;
    EXPECT_FALSE(scan.BeginScan());
    EXPECT_EQ(scan.m_nCount, 4) << "a refused scan leaves the table alone";
    EXPECT_TRUE(scan.CloseScanWindow());
    EXPECT_FALSE(scan.m_bScanning);
    EXPECT_TRUE(scan.BeginScan());
    EXPECT_EQ(scan.m_nCount, 0);
    EXPECT_FALSE(scan.CloseScanWindow()) << "nothing to select in an empty list";
}

// The one owner of the rescan countdowns, in the documented ticks of the rescan
// timer: the rescan comes on the 5th tick after a scan that found fewer devices
// than the one before, and on the 10th after an address change.
TEST(ScanState, FewerDevicesAndAddressChangesBuyExactlyOneRescanAtTheDocumentedTick)
{
    CScanState scan;
    auto scanFinding = [&](int devices) {
        scan.BeginScan();
        scan.m_nCount = devices;
        scan.CloseScanWindow();
    };
    // Ticks until the rescan is due; 0 when none comes within 30.
    auto ticksUntilRescan = [&] {
        for (int tick = 1; tick <= 30; ++tick)
            if (scan.Tick())
                return tick;
        return 0;
    };
    scanFinding(3);
    EXPECT_EQ(ticksUntilRescan(), 0) << "the first scan compares against nothing";
    scanFinding(1);
    EXPECT_EQ(ticksUntilRescan(), 5) << "after fewer devices";
    EXPECT_EQ(ticksUntilRescan(), 0) << "a spent countdown stays quiet";
    scanFinding(1);
    EXPECT_EQ(ticksUntilRescan(), 0) << "as many devices arm nothing";
    scanFinding(3);
    EXPECT_EQ(ticksUntilRescan(), 0) << "more devices arm nothing";

    scan.ArmRescanAfterAddressChange();
    EXPECT_EQ(ticksUntilRescan(), 10) << "after an address change";
    scan.ArmRescanAfterAddressChange();
    scan.Tick();
    scanFinding(2);
    EXPECT_EQ(ticksUntilRescan(), 5) << "a drop replaces a running countdown";
}

TEST(CommandLine, HelpAndVersionAreAnsweredOthersPassToTheToolkit)
{
    using Args = std::vector<const char*>;
    const auto choose = [](Args args) {
        args.insert(args.begin(), "Corvane");
        return ChooseStartAction(int(args.size()), args.data());
    };
    EXPECT_EQ(choose({}), StartAction::RunProgram);
    EXPECT_EQ(choose({"-platform", "offscreen"}), StartAction::RunProgram);
    EXPECT_EQ(choose({"--helpme", "-v", "version"}), StartAction::RunProgram);
    EXPECT_EQ(choose({"--help"}), StartAction::PrintHelp);
    EXPECT_EQ(choose({"-platform", "xcb", "-h"}), StartAction::PrintHelp);
    EXPECT_EQ(choose({"--version", "--help"}), StartAction::PrintVersion);
    EXPECT_EQ(choose({"-V"}), StartAction::PrintVersion);
    EXPECT_EQ(choose({"--", "--version"}), StartAction::RunProgram);

    EXPECT_EQ(VersionLine("Corvane"), "Corvane 1.0.0.1\n");
    EXPECT_EQ(UsageText("Corvane").rfind("Usage: Corvane [--help] [--version]\n", 0), 0u);
}

NetworkInterface Ethernet(const std::string& name, unsigned index, IpOctets address)
{
    NetworkInterface e;
    e.name = name;
    e.index = index;
    e.up = e.hasIpv4 = e.broadcast = true;
    e.address = address;
    e.mask = {255, 255, 255, 0};
    return e;
}

TEST(ProbeInterfaces, OneProbePerUpBroadcastInterfaceWithAnIpv4Address)
{
    NetworkInterface loopback = Ethernet("lo", 1, {127, 0, 0, 1});
    loopback.broadcast = false;
    loopback.loopback = true;
    NetworkInterface down = Ethernet("eth2", 4, {10, 0, 2, 1});
    down.up = false;
    NetworkInterface tunnel = Ethernet("tun0", 5, {10, 8, 0, 2});
    tunnel.broadcast = false;
    tunnel.pointToPoint = true;
    NetworkInterface noBroadcast = Ethernet("wg0", 6, {10, 9, 0, 2});
    noBroadcast.broadcast = false;
    NetworkInterface ipv6Only = Ethernet("eth3", 7, {});
    ipv6Only.hasIpv4 = false;
    // A point-to-point link that also claims broadcast is still left out.
    NetworkInterface ppp = Ethernet("ppp0", 8, {100, 64, 0, 1});
    ppp.pointToPoint = true;
    const std::vector<NetworkInterface> listed{
        loopback, Ethernet("wlan0", 3, {192, 168, 1, 20}), down, tunnel, Ethernet("eth0", 2, {10, 88, 2, 1}),
        Ethernet("eth0", 2, {10, 99, 0, 1}),   // a second address: still one probe
        noBroadcast, ipv6Only, ppp};

    std::vector<std::string> names;
    std::vector<IpOctets> sources;
    for (const NetworkInterface& chosen : ChooseProbeInterfaces(listed)) {
        names.push_back(chosen.name);
        sources.push_back(chosen.address);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"wlan0", "eth0"}));
    EXPECT_EQ(sources, (std::vector<IpOctets>{{192, 168, 1, 20}, {10, 88, 2, 1}}));

    EXPECT_EQ(WhyNotProbed(listed[1]), "");
    EXPECT_EQ(WhyNotProbed(loopback), "is the loopback interface");
    EXPECT_EQ(WhyNotProbed(down), "is down");
    EXPECT_EQ(WhyNotProbed(tunnel), "is a point-to-point link");
    EXPECT_EQ(WhyNotProbed(ppp), "is a point-to-point link");
    EXPECT_EQ(WhyNotProbed(noBroadcast), "cannot send broadcasts");
    EXPECT_EQ(WhyNotProbed(ipv6Only), "has no IPv4 address");
    EXPECT_TRUE(ChooseProbeInterfaces({loopback, down, tunnel}).empty());
}

TEST(ProbeInterfaces, LookupPrefersTheEntryWithAnIpv4Address)
{
    NetworkInterface linkLocalOnly = Ethernet("eth1", 9, {});
    linkLocalOnly.hasIpv4 = false;   // the system lists the IPv6 entry first
    const std::vector<NetworkInterface> listed{linkLocalOnly, Ethernet("eth1", 9, {10, 88, 2, 1}),
                                               Ethernet("eth0", 2, {10, 88, 1, 1})};
    ASSERT_NE(FindInterface(listed, 9u), nullptr);
    EXPECT_EQ(FindInterface(listed, 9u)->address, (IpOctets{10, 88, 2, 1}));
    ASSERT_NE(FindInterface(listed, std::string("eth1")), nullptr);
    EXPECT_EQ(FindInterface(listed, std::string("eth1"))->address, (IpOctets{10, 88, 2, 1}));
    EXPECT_EQ(FindInterface(listed, 4u), nullptr);
    EXPECT_EQ(FindInterface(listed, std::string("eth9")), nullptr);
    const std::vector<NetworkInterface> withoutIpv4{linkLocalOnly};
    EXPECT_EQ(FindInterface(withoutIpv4, 9u), &withoutIpv4[0]) << "found, even without an address";
}

} // namespace
