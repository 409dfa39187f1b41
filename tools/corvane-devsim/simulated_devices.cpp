#include "simulated_devices.h"

#include "device_line.h"
#include "dotted_quad.h"

#include <algorithm>
#include <cstring>

DISCOVERY_PACKET ReplyOf(const SimulatedDevice& device)
{
    DISCOVERY_PACKET reply = BuildProbe();
    reply.ipAddress = device.address;
    reply.ipMask = device.mask;
    reply.macAddress = device.mac;
    reply.deviceId = ToWireOrder16(device.deviceId);
    return reply;
}

std::vector<SimulatedDevice> GenerateDevices(int count, IpOctets first, IpOctets mask)
{
    std::vector<SimulatedDevice> devices;
    std::uint32_t address = (std::uint32_t(first[0]) << 24) | (std::uint32_t(first[1]) << 16) |
                            (std::uint32_t(first[2]) << 8) | first[3];
    for (int i = 0; i < count; ++i, ++address) {
        SimulatedDevice d;
        d.address = {std::uint8_t(address >> 24), std::uint8_t(address >> 16), std::uint8_t(address >> 8),
                     std::uint8_t(address)};
        d.mask = mask;
        // Locally administered MAC addresses, so they never look like a real maker's.
        d.mac = {0x02, 0xC0, 0x4E, 0x00, std::uint8_t(i >> 8), std::uint8_t(i)};
        d.deviceId = std::uint16_t(i + 1);
        devices.push_back(d);
    }
    return devices;
}

SimulatedDevices::SimulatedDevices(std::vector<SimulatedDevice> devices, Misbehaviour misbehaviour)
    : m_devices(std::move(devices)), m_misbehaviour(std::move(misbehaviour))
{
}

std::vector<OutgoingDatagram> SimulatedDevices::Receive(const std::uint8_t* data, std::size_t size,
                                                        std::string& log)
{
    if (size != DISCOVERY_PACKET_SIZE) {
        log = "ignored a datagram of " + std::to_string(size) + " bytes";
        return {};
    }
    DISCOVERY_PACKET packet;
    std::memcpy(&packet, data, sizeof packet);
    switch (CommandOf(packet)) {
    case CMD_DISCOVER:
        return AnswerProbe(log);
    case CMD_SET_IP:
    case CMD_SET_MASK:
        Apply(packet, log);
        return {};
    default:
        log = "ignored command " + std::to_string(CommandOf(packet));
        return {};
    }
}

std::vector<OutgoingDatagram> SimulatedDevices::AnswerProbe(std::string& log)
{
    std::vector<OutgoingDatagram> out;
    const DISCOVERY_PACKET sample = m_devices.empty() ? BuildProbe() : ReplyOf(m_devices.front());
    std::vector<std::uint8_t> sampleBytes(sizeof sample);
    std::memcpy(sampleBytes.data(), &sample, sizeof sample);
    for (const std::string& kind : m_misbehaviour.malformed) {
        std::vector<std::uint8_t> bytes = sampleBytes;
        if (kind == "short")
            bytes.resize(19);
        else if (kind == "long")
            bytes.push_back(0);
        else if (kind == "swapped")
            std::swap(bytes[2], bytes[3]);
        else if (kind == "other")
            bytes[3] = 0x3A;
        out.push_back({bytes});
    }

    const std::vector<int>& counts = m_misbehaviour.answerCounts;
    std::size_t answering = m_devices.size();
    if (!counts.empty()) {
        const int wanted = counts[std::min<std::size_t>(std::size_t(m_probes), counts.size() - 1)];
        answering = std::min<std::size_t>(answering, std::size_t(std::max(wanted, 0)));
    }
    const std::size_t start = m_misbehaviour.rotate && !m_devices.empty() ? std::size_t(m_probes) % m_devices.size() : 0;
    ++m_probes;
    int sent = 0;
    for (std::size_t i = 0; i < answering; ++i) {
        ++m_replies;
        if (m_misbehaviour.dropEvery > 0 && m_replies % m_misbehaviour.dropEvery == 0)
            continue;
        const DISCOVERY_PACKET reply = ReplyOf(m_devices[(start + i) % m_devices.size()]);
        std::vector<std::uint8_t> bytes(sizeof reply);
        std::memcpy(bytes.data(), &reply, sizeof reply);
        for (int copy = 0; copy < std::max(m_misbehaviour.repeat, 1); ++copy)
            out.push_back({bytes});
        ++sent;
    }
    log = "probe " + std::to_string(m_probes) + ": " + std::to_string(sent) + " devices answer";
    return out;
}

SimulatedDevice* SimulatedDevices::FindByMac(const MacOctets& mac)
{
    for (SimulatedDevice& d : m_devices)
        if (d.mac == mac)
            return &d;
    return nullptr;
}

void SimulatedDevices::Apply(const DISCOVERY_PACKET& command, std::string& log)
{
    const bool setIp = CommandOf(command) == CMD_SET_IP;
    const std::string name = setIp ? "set-ip " : "set-mask ";
    SimulatedDevice* device = FindByMac(command.macAddress);
    if (device == nullptr) {
        log = name + "for unknown " + FormatMacAddress(command.macAddress);
        return;
    }
    IpOctets& field = setIp ? device->address : device->mask;
    const IpOctets& value = setIp ? command.ipAddress : command.ipMask;
    log = name + FormatMacAddress(command.macAddress) + " " + FormatDottedQuad(field) + " -> " + FormatDottedQuad(value);
    if (!setIp)
        log += " (address " + FormatDottedQuad(command.ipAddress) + ")";
    const std::vector<MacOctets>& deaf = m_misbehaviour.ignoreSets;
    if (std::find(deaf.begin(), deaf.end(), device->mac) != deaf.end()) {
        log += " ignored";
        return;
    }
    field = value;
}
