// The interface list and the probe socket against the real system, on loopback only.

#include "interface_list.h"
#include "probe_socket.h"

#include <gtest/gtest.h>

#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

// A plain UDP socket on 127.0.0.1 standing in for a device.
class LoopbackPeer {
public:
    LoopbackPeer()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length);
        m_port = ntohs(local.sin_port);
        const timeval wait{10, 0};   // a lost datagram fails the test instead of hanging it
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~LoopbackPeer() { ::close(m_fd); }
    std::uint16_t Port() const { return m_port; }
    ssize_t Receive(void* buffer, std::size_t size) { return ::recv(m_fd, buffer, size, 0); }
    void SendTo(std::uint16_t port, const void* data, std::size_t size)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        ::sendto(m_fd, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

NetworkInterface Loopback()
{
    std::vector<NetworkInterface> listed;
    std::string error;
    EXPECT_TRUE(ListNetworkInterfaces(listed, error)) << error;
    const NetworkInterface* lo = FindInterface(listed, std::string("lo"));
    return lo != nullptr ? *lo : NetworkInterface{};
}

ProbeEndpoints ToLoopbackPeer(const LoopbackPeer& device)
{
    ProbeEndpoints endpoints;
    endpoints.destination = {127, 0, 0, 1};
    endpoints.destinationPort = device.Port();
    return endpoints;
}

TEST(InterfaceList, ListsTheLoopbackWithItsAddressAndFlags)
{
    const NetworkInterface lo = Loopback();
    ASSERT_EQ(lo.name, "lo");
    EXPECT_EQ(lo.index, ::if_nametoindex("lo"));
    EXPECT_TRUE(lo.up);
    EXPECT_TRUE(lo.loopback);
    EXPECT_TRUE(lo.hasIpv4);
    EXPECT_EQ(lo.address, (IpOctets{127, 0, 0, 1}));
    EXPECT_EQ(lo.mask, (IpOctets{255, 0, 0, 0}));
    EXPECT_EQ(WhyNotProbed(lo), "is the loopback interface");
}

TEST(ProbeSocket, SendsOutOfTheInterfaceGivenAndTellsSizeAndArrivalInterface)
{
    const NetworkInterface lo = Loopback();
    ASSERT_NE(lo.index, 0u);
    LoopbackPeer device;
    ProbeSocket socket(ToLoopbackPeer(device));
    std::string error;
    ASSERT_TRUE(socket.Open(error)) << error;

    ASSERT_TRUE(socket.SendVia(BuildProbe(), lo, error)) << error;
    DISCOVERY_PACKET received{};
    ASSERT_EQ(device.Receive(&received, sizeof received + 1), ssize_t(sizeof received));
    const DISCOVERY_PACKET probe = BuildProbe();
    EXPECT_EQ(std::memcmp(&received, &probe, sizeof probe), 0);

    DISCOVERY_PACKET reply = BuildProbe();
    reply.ipAddress = {10, 0, 0, 9};
    unsigned char longer[21] = {};
    std::memcpy(longer, &reply, sizeof reply);
    device.SendTo(socket.LocalPort(), longer, sizeof longer);
    device.SendTo(socket.LocalPort(), &reply, sizeof reply);

    DISCOVERY_PACKET row{};
    unsigned arrival = 0;
    ASSERT_TRUE(socket.WaitReadable(10000));
    EXPECT_EQ(socket.Receive(row, arrival), 21) << "a longer datagram tells its true size";
    EXPECT_EQ(row.ipAddress, IpOctets{}) << "and is not taken in truncated form";
    ASSERT_TRUE(socket.WaitReadable(10000));
    EXPECT_EQ(socket.Receive(row, arrival), 20);
    EXPECT_EQ(row.ipAddress, (IpOctets{10, 0, 0, 9}));
    EXPECT_EQ(arrival, lo.index);
    EXPECT_EQ(socket.Receive(row, arrival), -1) << "nothing more waits, and the read does not block";
}

TEST(ProbeSocket, AFailedSendSaysWhy)
{
    LoopbackPeer device;
    ProbeSocket socket(ToLoopbackPeer(device));
    std::string error;
    ASSERT_TRUE(socket.Open(error)) << error;
    NetworkInterface gone;
    gone.name = "gone0";
    gone.index = 999999;   // no such interface
    gone.address = {127, 0, 0, 1};
    EXPECT_FALSE(socket.SendVia(BuildProbe(), gone, error));
    EXPECT_FALSE(error.empty());
}

TEST(ProbeSocket, TheDiscardIsBoundedAndWhatItLeavesIsReadInOrder)
{
    LoopbackPeer device;
    ProbeSocket socket(ToLoopbackPeer(device));
    std::string error;
    ASSERT_TRUE(socket.Open(error)) << error;
    DISCOVERY_PACKET reply = BuildProbe();
    for (std::uint8_t last = 1; last <= 5; ++last) {
        reply.ipAddress = {10, 0, 0, last};
        device.SendTo(socket.LocalPort(), &reply, sizeof reply);
    }
    // Loopback queues each datagram at the receiver before the send returns, in order.
    EXPECT_EQ(socket.DiscardPending(3), 3);
    DISCOVERY_PACKET row{};
    unsigned arrival = 0;
    ASSERT_TRUE(socket.WaitReadable(10000));
    EXPECT_EQ(socket.Receive(row, arrival), 20);
    EXPECT_EQ(row.ipAddress[3], 4) << "the discard took more, or other, datagrams than allowed";
}

// Nothing here can broadcast: the interfaces named cannot carry a probe, so the
// layer sends nothing at all, which is what a set command must do when its
// device's interface has gone.
TEST(ProbeSocket, ASetCommandIsNotSentWhenItsInterfaceIsGoneOrCannotBroadcast)
{
    ProbeSocket socket;   // the real network's endpoints
    std::string error;
    ASSERT_TRUE(socket.Open(error)) << error;
    EXPECT_FALSE(socket.SendOnInterface(BuildSetIp({10, 0, 0, 7}, {}), 999999)) << "no such interface";
    EXPECT_FALSE(socket.SendOnInterface(BuildSetIp({10, 0, 0, 7}, {}), 0)) << "the interface is not known";
    EXPECT_FALSE(socket.SendOnInterface(BuildSetIp({10, 0, 0, 7}, {}), Loopback().index)) << "loopback";
}

} // namespace
