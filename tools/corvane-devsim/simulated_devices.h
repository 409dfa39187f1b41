#pragma once
// The devices the simulator plays and what they do with each datagram they receive.

#include "discovery_packet.h"

#include <string>
#include <vector>

struct SimulatedDevice {
    IpOctets address{};
    IpOctets mask{};
    MacOctets mac{};
    std::uint16_t deviceId = 0;
};

// How the simulated network misbehaves.
struct Misbehaviour {
    std::vector<int> answerCounts;       // devices answering probe 1, 2, ...; the last holds on
    int dropEvery = 0;                   // drop every n-th reply (0: none)
    int repeat = 1;                      // copies of each reply
    std::vector<std::string> malformed;  // "short", "long", "swapped", "other": sent before the replies
    bool rotate = false;                 // each probe starts the answers one device later
    std::vector<MacOctets> ignoreSets;   // devices that log set commands but do not apply them
};

// One datagram to send; malformed ones are not 20 bytes long.
struct OutgoingDatagram {
    std::vector<std::uint8_t> bytes;
};

class SimulatedDevices {
public:
    SimulatedDevices(std::vector<SimulatedDevice> devices, Misbehaviour misbehaviour);

    // Handles one received datagram. Returns what to send back (empty for set commands)
    // and appends a line describing what happened to `log`.
    std::vector<OutgoingDatagram> Receive(const std::uint8_t* data, std::size_t size, std::string& log);

    const std::vector<SimulatedDevice>& Devices() const { return m_devices; }

private:
    std::vector<OutgoingDatagram> AnswerProbe(std::string& log);
    // CMD_SET_IP or CMD_SET_MASK, for the device the command names by its MAC address.
    void Apply(const DISCOVERY_PACKET& command, std::string& log);
    SimulatedDevice* FindByMac(const MacOctets& mac);

    std::vector<SimulatedDevice> m_devices;
    Misbehaviour m_misbehaviour;
    int m_probes = 0;
    long m_replies = 0;
};

DISCOVERY_PACKET ReplyOf(const SimulatedDevice& device);
// Devices with consecutive addresses from `first`, generated MAC addresses and IDs from 1.
std::vector<SimulatedDevice> GenerateDevices(int count, IpOctets first, IpOctets mask);
