#include "options.h"
#include "simulated_devices.h"

#include "dotted_quad.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>

namespace {

std::vector<OutgoingDatagram> Send(SimulatedDevices& devices, const DISCOVERY_PACKET& packet)
{
    std::string log;
    return devices.Receive(reinterpret_cast<const std::uint8_t*>(&packet), sizeof packet, log);
}

DISCOVERY_PACKET AsPacket(const OutgoingDatagram& datagram)
{
    DISCOVERY_PACKET packet{};
    EXPECT_EQ(datagram.bytes.size(), sizeof packet);
    std::memcpy(&packet, datagram.bytes.data(), std::min(sizeof packet, datagram.bytes.size()));
    return packet;
}

bool Parse(std::vector<const char*> args, DevsimOptions& options, std::string& error)
{
    args.insert(args.begin(), "corvane-devsim");
    return ParseDevsimOptions(int(args.size()), args.data(), options, error);
}

TEST(Devsim, SetCommandsChangeOnlyTheDeviceNamedByMac)
{
    SimulatedDevices devices(GenerateDevices(3, {10, 0, 0, 1}, {255, 255, 255, 0}), {});
    const MacOctets second = devices.Devices()[1].mac;
    EXPECT_TRUE(Send(devices, BuildSetIp({10, 0, 0, 50}, second)).empty());
    EXPECT_TRUE(Send(devices, BuildSetMask({10, 0, 0, 50}, {255, 255, 0, 0}, second)).empty());
    Send(devices, BuildSetIp({10, 0, 0, 60}, {9, 9, 9, 9, 9, 9}));

    const std::vector<OutgoingDatagram> replies = Send(devices, BuildProbe());
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(AsPacket(replies[0]).ipAddress, (IpOctets{10, 0, 0, 1}));
    EXPECT_EQ(AsPacket(replies[1]).ipAddress, (IpOctets{10, 0, 0, 50}));
    EXPECT_EQ(AsPacket(replies[1]).ipMask, (IpOctets{255, 255, 0, 0}));
    EXPECT_EQ(AsPacket(replies[2]).ipAddress, (IpOctets{10, 0, 0, 3}));
    EXPECT_TRUE(IsDiscoveryReply(AsPacket(replies[2])));
    EXPECT_EQ(DeviceIdOf(AsPacket(replies[2])), 3);
}

TEST(Devsim, MisbehaviourShapesTheAnswers)
{
    Misbehaviour misbehaviour;
    misbehaviour.answerCounts = {3, 1};
    misbehaviour.repeat = 2;
    misbehaviour.malformed = {"short", "long", "swapped", "other"};
    SimulatedDevices devices(GenerateDevices(3, {10, 0, 0, 1}, {255, 0, 0, 0}), misbehaviour);

    std::vector<OutgoingDatagram> first = Send(devices, BuildProbe());
    ASSERT_EQ(first.size(), 4u + 3 * 2);
    EXPECT_EQ(first[0].bytes.size(), 19u);
    EXPECT_EQ(first[1].bytes.size(), 21u);
    EXPECT_EQ(CommandOf(AsPacket(first[2])), 0x3930);
    EXPECT_EQ(CommandOf(AsPacket(first[3])), CMD_SET_IP);
    EXPECT_EQ(Send(devices, BuildProbe()).size(), 4u + 1 * 2);
    EXPECT_EQ(Send(devices, BuildProbe()).size(), 4u + 1 * 2) << "the last count holds on";

    Misbehaviour dropping;
    dropping.dropEvery = 2;
    SimulatedDevices lossy(GenerateDevices(4, {10, 0, 0, 1}, {255, 0, 0, 0}), dropping);
    const std::vector<OutgoingDatagram> replies = Send(lossy, BuildProbe());
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(AsPacket(replies[1]).ipAddress, (IpOctets{10, 0, 0, 3}));

    Misbehaviour rotating;
    rotating.rotate = true;
    SimulatedDevices turning(GenerateDevices(3, {10, 0, 0, 1}, {255, 0, 0, 0}), rotating);
    EXPECT_EQ(AsPacket(Send(turning, BuildProbe())[0]).ipAddress, (IpOctets{10, 0, 0, 1}));
    EXPECT_EQ(AsPacket(Send(turning, BuildProbe())[0]).ipAddress, (IpOctets{10, 0, 0, 2}));
    EXPECT_EQ(AsPacket(Send(turning, BuildProbe())[2]).ipAddress, (IpOctets{10, 0, 0, 2}));

    std::string log;
    const std::uint8_t shortProbe[19] = {0x43, 0x21, 0x30, 0x39};
    EXPECT_TRUE(devices.Receive(shortProbe, sizeof shortProbe, log).empty());
}

TEST(Devsim, CommandLine)
{
    DevsimOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--device", "10.0.0.9,255.0.0.0,00-11-22-33-44-55,7", "--devices", "2", "--first-address",
                       "192.168.5.254", "--port", "0", "--malformed", "long,other", "--answer-counts", "3,1",
                       "--log-bytes"},
                      options, error))
        << error;
    ASSERT_EQ(options.devices.size(), 3u);
    EXPECT_EQ(options.devices[0].mac, (MacOctets{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
    EXPECT_EQ(options.devices[0].deviceId, 7);
    EXPECT_EQ(options.devices[2].address, (IpOctets{192, 168, 5, 255}));
    EXPECT_NE(options.devices[1].mac, options.devices[2].mac);
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.misbehaviour.answerCounts, (std::vector<int>{3, 1}));
    EXPECT_TRUE(options.logBytes);
    EXPECT_FALSE(options.replyByBroadcast || options.misbehaviour.rotate);

    DevsimOptions batch;
    ASSERT_TRUE(Parse({"--devices", "5", "--first-address", "192.168.1.100", "--shared-address"}, batch, error));
    ASSERT_EQ(batch.devices.size(), 5u);
    for (const SimulatedDevice& device : batch.devices) {
        EXPECT_EQ(device.address, (IpOctets{192, 168, 1, 100}));
        EXPECT_EQ(std::count_if(batch.devices.begin(), batch.devices.end(),
                                [&](const SimulatedDevice& other) { return other.mac == device.mac; }),
                  1);
    }

    DevsimOptions defaults;
    ASSERT_TRUE(Parse({}, defaults, error));
    EXPECT_EQ(defaults.devices.size(), 3u);
    EXPECT_EQ(defaults.port, DISCOVERY_PORT);
    EXPECT_FALSE(defaults.logBytes);

    for (std::vector<const char*> bad : {std::vector<const char*>{"--devices"}, {"--devices", "x"},
                                         {"--port", "70000"}, {"--device", "10.0.0.1,255.0.0.0,00-11"},
                                         {"--malformed", "huge"}, {"--frobnicate", "1"}}) {
        DevsimOptions o;
        EXPECT_FALSE(Parse(bad, o, error)) << bad[0];
    }
    DevsimOptions unknown;
    EXPECT_FALSE(Parse({"--port", "0", "--frobnicate"}, unknown, error));
    EXPECT_EQ(error, "unknown option: --frobnicate");
    EXPECT_FALSE(Parse({"--port"}, unknown, error));
    EXPECT_EQ(error, "missing value for --port");

    DevsimOptions help;
    ASSERT_TRUE(Parse({"--port", "0", "--help", "--frobnicate"}, help, error));
    EXPECT_TRUE(help.showHelp);
    EXPECT_FALSE(help.showVersion);
    DevsimOptions version;
    ASSERT_TRUE(Parse({"-V"}, version, error));
    EXPECT_TRUE(version.showVersion);
}

} // namespace
