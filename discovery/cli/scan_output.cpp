#include "scan_output.h"

#include "device_line.h"
#include "dotted_quad.h"
#include "json_text.h"

#include <algorithm>

std::vector<FoundDevice> SortedAsListed(std::vector<FoundDevice> devices)
{
    std::stable_sort(devices.begin(), devices.end(), [](const FoundDevice& a, const FoundDevice& b) {
        return FormatDeviceLine(a.reply) < FormatDeviceLine(b.reply);
    });
    return devices;
}

std::string FormatTextLines(const std::vector<FoundDevice>& devices)
{
    std::string text;
    for (const FoundDevice& device : devices)
        text += FormatDeviceLine(device.reply) + "\n";
    return text;
}

std::string JsonString(const std::string& value)
{
    return json_text::JsonString(value);
}

std::string FormatJson(const std::vector<FoundDevice>& devices)
{
    std::string json = "[";
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const DISCOVERY_PACKET& reply = devices[i].reply;
        json += i == 0 ? "\n" : ",\n";
        json += "  {\"address\": " + JsonString(FormatDottedQuad(reply.ipAddress)) +
                ", \"mask\": " + JsonString(FormatDottedQuad(reply.ipMask)) +
                ", \"mac\": " + JsonString(FormatMacAddress(reply.macAddress)) +
                ", \"deviceId\": " + std::to_string(DeviceIdOf(reply)) +
                ", \"interface\": " + JsonString(devices[i].interfaceName) + ", \"sharesAddressWith\": [";
        const AddressFindings& findings = devices[i].findings;
        for (std::size_t k = 0; k < findings.sharesWith.size(); ++k)
            json += (k == 0 ? "" : ", ") + JsonString(FormatMacAddress(findings.sharesWith[k]));
        json += std::string("], \"outsideSubnets\": ") + (findings.outsideSubnets ? "true" : "false") + "}";
    }
    return json + (devices.empty() ? "]\n" : "\n]\n");
}

std::string FormatAddressNotes(const std::vector<FoundDevice>& devices)
{
    std::string notes;
    for (const FoundDevice& device : devices) {
        const std::string who = FormatMacAddress(device.reply.macAddress) + " on " +
                                (device.interfaceName.empty() ? "an unknown interface" : device.interfaceName);
        const std::string address = FormatDottedQuad(device.reply.ipAddress);
        if (!device.findings.sharesWith.empty()) {
            std::string others;
            for (const MacOctets& mac : device.findings.sharesWith)
                others += (others.empty() ? "" : ", ") + FormatMacAddress(mac);
            notes += "note: " + who + " shares its address " + address + " with " + others + "\n";
        }
        if (device.findings.outsideSubnets)
            notes += "note: " + who + ": " + address + " is outside every subnet of " + device.interfaceName + "\n";
    }
    return notes;
}
