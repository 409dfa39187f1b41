// The interface list and the probe socket against real sockets, on loopback only. The
// interfaces are scripted: loopback addresses stand in for LANs that come, go and change
// between two sends.

#include "interface_list.h"
#include "loopback_peer.h"
#include "probe_socket.h"
#include "scripted_interfaces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr IpOctets LAN_A{127, 0, 0, 2};
constexpr IpOctets LAN_A_MOVED{127, 0, 0, 3};
constexpr IpOctets LAN_A_SECOND{127, 0, 0, 4};

DISCOVERY_PACKET Reply(std::uint8_t last)
{
    DISCOVERY_PACKET reply = BuildProbe();
    reply.ipAddress = {10, 0, 0, last};
    reply.macAddress = {2, 0, 0, 0, 0, last};
    return reply;
}

// Every policy whose sends this platform can carry: one socket naming the way out of
// each send needs IP_PKTINFO, which Winsock's sendto lacks, so Windows runs only its own.
std::vector<SendPolicy> PoliciesOfThisPlatform()
{
    std::vector<SendPolicy> policies{SendPolicy::SocketPerInterface};
    if (PlatformSendPolicy() == SendPolicy::OneSocketNamesTheInterface)
        policies.push_back(SendPolicy::OneSocketNamesTheInterface);
    return policies;
}

std::string PolicyName(const ::testing::TestParamInfo<SendPolicy>& info)
{
    return info.param == SendPolicy::SocketPerInterface ? "SocketPerInterface" : "OneSocketNamesTheInterface";
}

class EitherPolicy : public ::testing::TestWithParam<SendPolicy> {
protected:
    void SetUp() override
    {
        ProbeEndpoints endpoints;
        endpoints.destination = {127, 0, 0, 1};
        endpoints.destinationPort = m_device.Port();
        endpoints.interfaces = &m_interfaces;
        endpoints.policy = GetParam();
        m_socket.emplace(endpoints);
        std::string error;
        ASSERT_TRUE(m_socket->Open(error)) << error;
        m_sourcesTell = m_device.BoundAddressIsTheSource(LAN_A);
    }
    ProbeSocket& Socket() { return *m_socket; }
    // The system must know the index where one socket names it in each send.
    NetworkInterface Lan(IpOctets address) { return ScriptedLan("lan0", SystemLoopbackIndex(), address); }
    // The next datagram at the device; checks that it is `packet`, sent from `source`.
    LoopbackPeer::Received ExpectAtDevice(const DISCOVERY_PACKET& packet, IpOctets source)
    {
        LoopbackPeer::Received got = m_device.Receive();
        EXPECT_EQ(got.bytes, Bytes(packet));
        if (m_sourcesTell) {
            EXPECT_EQ(got.from, source) << "sent from another interface's address";
        }
        return got;
    }
    // The device answers and the reply is read with its arrival interface.
    void ExpectReplyArrivesOn(const LoopbackPeer::Received& probe, unsigned index)
    {
        m_device.Answer(probe, Reply(9));
        ASSERT_TRUE(Socket().WaitReadable(10000));
        DISCOVERY_PACKET row{};
        unsigned arrival = 0;
        ASSERT_EQ(Socket().Receive(row, arrival), 20);
        EXPECT_EQ(row.ipAddress, Reply(9).ipAddress);
        EXPECT_EQ(arrival, index);
    }

    LoopbackPeer m_device;
    ScriptedInterfaces m_interfaces;
    std::optional<ProbeSocket> m_socket;
    bool m_sourcesTell = true;   // the system sends from a bound 127.0.0.x
};

TEST(InterfaceList, ListsTheLoopbackWithItsAddressAndFlags)
{
    std::vector<NetworkInterface> listed;
    std::string error;
    ASSERT_TRUE(ListNetworkInterfaces(listed, error)) << error;
    const auto lo = std::find_if(listed.begin(), listed.end(), [](const NetworkInterface& i) { return i.loopback; });
    ASSERT_NE(lo, listed.end());
    EXPECT_NE(lo->index, 0u);
    EXPECT_TRUE(lo->up);
    EXPECT_TRUE(lo->hasIpv4);
    EXPECT_EQ(lo->address, (IpOctets{127, 0, 0, 1}));
    EXPECT_EQ(lo->mask, (IpOctets{255, 0, 0, 0}));
    EXPECT_EQ(WhyNotProbed(*lo), "is the loopback interface");
}

// Between two scans the interfaces come, go, move and all vanish; each scan probes
// exactly those usable at that moment, and nothing at all while none is.
TEST_P(EitherPolicy, EachScanProbesTheInterfacesUsableAtThatMoment)
{
    const DISCOVERY_PACKET probe = BuildProbe();
    EXPECT_EQ(Socket().SendOnEveryInterface(probe), 0) << "no interface yet";

    m_interfaces.listed = {Lan(LAN_A)};
    const DISCOVERY_PACKET second = BuildSetIp({10, 0, 0, 1}, {});   // told apart from the probe before it
    ASSERT_EQ(Socket().SendOnEveryInterface(second), 1);
    ExpectReplyArrivesOn(ExpectAtDevice(second, LAN_A), SystemLoopbackIndex());

    m_interfaces.listed = {Lan(LAN_A), Lan(LAN_A_SECOND)};
    ASSERT_EQ(Socket().SendOnEveryInterface(probe), 1) << "a second address is not a second interface";
    ExpectAtDevice(probe, LAN_A);

    m_interfaces.listed = {Lan(LAN_A_MOVED)};
    ASSERT_EQ(Socket().SendOnEveryInterface(probe), 1);
    ExpectReplyArrivesOn(ExpectAtDevice(probe, LAN_A_MOVED), SystemLoopbackIndex());

    m_interfaces.listed.front().up = false;
    EXPECT_EQ(Socket().SendOnEveryInterface(probe), 0) << "a link that is down";
    m_interfaces.listed.clear();
    EXPECT_EQ(Socket().SendOnEveryInterface(probe), 0) << "every interface gone";
    EXPECT_EQ(Socket().SendOnEveryInterface(probe), 0) << "and still gone";

    m_interfaces.listed = {Lan(LAN_A)};
    ASSERT_EQ(Socket().SendOnEveryInterface(second), 1) << "the first scan after the interface is back";
    ExpectReplyArrivesOn(ExpectAtDevice(second, LAN_A), SystemLoopbackIndex());
}

// A set command leaves by its device's interface as that interface is now, or not at all.
TEST_P(EitherPolicy, ASetCommandFollowsItsDevicesInterface)
{
    m_interfaces.listed = {Lan(LAN_A)};
    const unsigned index = SystemLoopbackIndex();
    const DISCOVERY_PACKET setIp = BuildSetIp({10, 0, 0, 7}, {2, 0, 0, 0, 0, 9});
    ASSERT_TRUE(Socket().SendOnInterface(setIp, index));
    ExpectAtDevice(setIp, LAN_A);

    m_interfaces.listed = {Lan(LAN_A_MOVED)};
    ASSERT_TRUE(Socket().SendOnInterface(setIp, index));
    ExpectAtDevice(setIp, LAN_A_MOVED);

    m_interfaces.listed.front().up = false;
    EXPECT_FALSE(Socket().SendOnInterface(setIp, index)) << "its link is down";
    m_interfaces.listed.clear();
    EXPECT_FALSE(Socket().SendOnInterface(setIp, index)) << "its interface is gone";
    m_interfaces.listed = {Lan(LAN_A)};
    EXPECT_FALSE(Socket().SendOnInterface(setIp, index + 1)) << "another interface's device";
    EXPECT_FALSE(Socket().SendOnInterface(setIp, 0)) << "an interface not known";
    m_interfaces.listed.front().broadcast = false;
    EXPECT_FALSE(Socket().SendOnInterface(setIp, index)) << "it cannot broadcast";

    // Had any of those gone out, it would be at the device before this one.
    m_interfaces.listed.front().broadcast = true;
    const DISCOVERY_PACKET setMask = BuildSetMask({10, 0, 0, 7}, {255, 255, 0, 0}, {2, 0, 0, 0, 0, 9});
    ASSERT_TRUE(Socket().SendOnInterface(setMask, index));
    ExpectAtDevice(setMask, LAN_A);
}

TEST_P(EitherPolicy, ReadsTellTheTrueSizeAndTheDiscardIsBounded)
{
    m_interfaces.listed = {Lan(LAN_A)};
    ASSERT_EQ(Socket().SendOnEveryInterface(BuildProbe()), 1);
    const LoopbackPeer::Received probe = ExpectAtDevice(BuildProbe(), LAN_A);
    unsigned char longer[21] = {};
    const DISCOVERY_PACKET first = Reply(1);
    std::memcpy(longer, &first, sizeof first);
    m_device.SendTo(probe.from, probe.fromPort, longer, sizeof longer);
    for (std::uint8_t last = 2; last <= 6; ++last)
        m_device.Answer(probe, Reply(last));

    DISCOVERY_PACKET row{};
    unsigned arrival = 0;
    ASSERT_TRUE(Socket().WaitReadable(10000));
    EXPECT_EQ(Socket().Receive(row, arrival), 21) << "a longer datagram tells its true size";
    EXPECT_EQ(row.ipAddress, IpOctets{}) << "and is not taken in truncated form";
    // Loopback queues each datagram at the receiver before the send returns, in order.
    EXPECT_EQ(Socket().DiscardPending(3), 3);
    ASSERT_TRUE(Socket().WaitReadable(10000));
    EXPECT_EQ(Socket().Receive(row, arrival), 20);
    EXPECT_EQ(row.ipAddress[3], 5) << "the discard took more, or other, datagrams than allowed";
    EXPECT_EQ(Socket().Receive(row, arrival), 20);
    EXPECT_EQ(Socket().Receive(row, arrival), -1) << "nothing more waits, and the read does not block";
}

TEST_P(EitherPolicy, ADatagramTheSystemRefusesIsNotCountedAsSent)
{
    ProbeEndpoints endpoints;
    endpoints.destination = {127, 0, 0, 1};
    endpoints.destinationPort = 0;   // no datagram can go there
    endpoints.interfaces = &m_interfaces;
    endpoints.policy = GetParam();
    ProbeSocket socket(endpoints);
    std::string error;
    ASSERT_TRUE(socket.Open(error)) << error;
    m_interfaces.listed = {Lan(LAN_A)};
    EXPECT_EQ(socket.SendOnEveryInterface(BuildProbe()), 0);
    EXPECT_FALSE(socket.SendOnInterface(BuildProbe(), Lan(LAN_A).index));
}

INSTANTIATE_TEST_SUITE_P(SendPolicies, EitherPolicy, ::testing::ValuesIn(PoliciesOfThisPlatform()), PolicyName);

// One socket per interface: each LAN has its own, made and closed with it, and a
// reply's arrival interface is that of the socket it came in on.
TEST(SocketPerInterface, EachInterfaceHasASocketOfItsOwnWhileItIsThere)
{
    LoopbackPeer device;
    ScriptedInterfaces interfaces;
    ProbeEndpoints endpoints;
    endpoints.destination = {127, 0, 0, 1};
    endpoints.destinationPort = device.Port();
    endpoints.interfaces = &interfaces;
    endpoints.policy = SendPolicy::SocketPerInterface;
    ProbeSocket socket(endpoints);
    std::string error;
    ASSERT_TRUE(socket.Open(error)) << error;
    EXPECT_TRUE(socket.Handles().empty()) << "a socket while no interface is usable";

    interfaces.listed = {ScriptedLan("lan0", 7, LAN_A), ScriptedLan("lan1", 8, LAN_A_MOVED)};
    ASSERT_EQ(socket.SendOnEveryInterface(BuildProbe()), 2);
    EXPECT_EQ(socket.Handles().size(), 2u);
    // Sent in listing order; each socket has a port of its own.
    const LoopbackPeer::Received first = device.Receive(), second = device.Receive();
    ASSERT_EQ(first.bytes, Bytes(BuildProbe()));
    ASSERT_EQ(second.bytes, Bytes(BuildProbe()));
    ASSERT_NE(first.fromPort, second.fromPort);
    device.Answer(second, Reply(8));
    ASSERT_TRUE(socket.WaitReadable(10000));
    DISCOVERY_PACKET row{};
    unsigned arrival = 0;
    ASSERT_EQ(socket.Receive(row, arrival), 20);
    EXPECT_EQ(arrival, 8u);

    const DISCOVERY_PACKET setIp = BuildSetIp({10, 0, 0, 70}, Reply(8).macAddress);
    ASSERT_TRUE(socket.SendOnInterface(setIp, 8));
    EXPECT_EQ(device.Receive().fromPort, second.fromPort) << "the command left by another interface";

    interfaces.listed.pop_back();
    EXPECT_FALSE(socket.SendOnInterface(setIp, 8));
    ASSERT_EQ(socket.SendOnEveryInterface(BuildProbe()), 1);
    EXPECT_EQ(socket.Handles().size(), 1u) << "the gone interface's socket stays open";
    EXPECT_EQ(device.Receive().fromPort, first.fromPort) << "something left by the gone interface first";

    interfaces.listed.clear();
    EXPECT_EQ(socket.SendOnEveryInterface(BuildProbe()), 0);
    EXPECT_TRUE(socket.Handles().empty());
    interfaces.listed = {ScriptedLan("lan1", 8, LAN_A_MOVED)};
    ASSERT_EQ(socket.SendOnEveryInterface(BuildProbe()), 1);
    const LoopbackPeer::Received back = device.Receive();
    device.Answer(back, Reply(8));
    ASSERT_TRUE(socket.WaitReadable(10000));
    ASSERT_EQ(socket.Receive(row, arrival), 20);
    EXPECT_EQ(arrival, 8u);
}

} // namespace
