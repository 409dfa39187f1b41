// Any device record and any values the operator confirms: the plan's verdict
// follows the rules in their order, and the planned datagrams are exactly the
// set-IP and set-mask commands the change needs, byte for byte, naming the
// device by the MAC address it reported.
#include "address_rules.h"
#include "discovery_packet.h"
#include "dotted_quad.h"
#include "fuzz_check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Wire = std::array<std::uint8_t, 20>;

Wire WireOf(const DISCOVERY_PACKET& packet)
{
    Wire bytes;
    std::memcpy(bytes.data(), &packet, bytes.size());
    return bytes;
}

Wire ExpectedSetCommand(std::uint8_t commandLow, const IpOctets& address, const IpOctets& mask,
                        const std::uint8_t* mac)
{
    Wire bytes{0x43, 0x21, 0x30, commandLow};
    for (int i = 0; i < 4; ++i) {
        bytes[4 + i] = address[i];
        bytes[8 + i] = mask[i];
    }
    for (int i = 0; i < 6; ++i)
        bytes[12 + i] = mac[i];
    return bytes;   // device number zero
}

bool AddressRule(const IpOctets& a)
{
    return a != IpOctets{} && a[0] < 224 && a[0] != 127 && a[3] != 255;
}

bool MaskRule(const IpOctets& m)
{
    return m[0] == 255;
}

IpOctets ConsumeOctets(FuzzedDataProvider& input)
{
    IpOctets octets{};
    for (auto& octet : octets)
        octet = input.ConsumeIntegral<std::uint8_t>();
    return octets;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    Wire record{};
    for (auto& b : record)
        b = input.ConsumeIntegral<std::uint8_t>();
    DISCOVERY_PACKET device;
    std::memcpy(&device, record.data(), sizeof device);

    // Values kept as the device reported them, given as octets, or typed as text.
    const auto how = input.ConsumeIntegral<std::uint8_t>();
    IpOctets address = device.ipAddress;
    IpOctets mask = device.ipMask;
    if (how & 1)
        address = (how & 4) ? ConsumeOctets(input) : ParseDottedQuad(input.ConsumeRandomLengthString(24).c_str());
    if (how & 2)
        mask = (how & 8) ? ConsumeOctets(input) : ParseDottedQuad(input.ConsumeRandomLengthString(24).c_str());

    const Wire before = WireOf(device);
    const AddressChangePlan plan = PlanAddressChange(device, address, mask);
    FUZZ_CHECK(WireOf(device) == before);   // the chosen record is left as it is

    const std::uint8_t* mac = record.data() + 12;
    const bool addressChanged = address != device.ipAddress;
    const bool maskChanged = mask != device.ipMask;
    if (!AddressRule(address)) {
        // The address is judged first; the mask is not looked at.
        FUZZ_CHECK(plan.verdict == AddressChangeVerdict::InvalidAddress);
        FUZZ_CHECK(plan.datagrams.empty());
    } else if (!MaskRule(mask)) {
        FUZZ_CHECK(plan.verdict == AddressChangeVerdict::InvalidMask);
        FUZZ_CHECK(plan.datagrams.empty());
    } else if (!addressChanged && !maskChanged) {
        FUZZ_CHECK(plan.verdict == AddressChangeVerdict::Unchanged);
        FUZZ_CHECK(plan.datagrams.empty());
    } else {
        FUZZ_CHECK(plan.verdict == AddressChangeVerdict::Send);
        std::vector<Wire> expected;
        if (addressChanged)
            expected.push_back(ExpectedSetCommand(0x3A, address, IpOctets{}, mac));
        if (maskChanged)
            expected.push_back(ExpectedSetCommand(0x3B, address, mask, mac));
        FUZZ_CHECK(plan.datagrams.size() == expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            FUZZ_CHECK(WireOf(plan.datagrams[i]) == expected[i]);
    }

    // Whatever goes out carries an address the rules accept, and a set-mask a mask they accept.
    for (const DISCOVERY_PACKET& datagram : plan.datagrams) {
        FUZZ_CHECK(AddressRule(datagram.ipAddress));
        FUZZ_CHECK(CommandOf(datagram) == CMD_SET_IP || CommandOf(datagram) == CMD_SET_MASK);
        if (CommandOf(datagram) == CMD_SET_MASK)
            FUZZ_CHECK(MaskRule(datagram.ipMask));
        FUZZ_CHECK(!IsDiscoveryReply(datagram));
    }
    return 0;
}
