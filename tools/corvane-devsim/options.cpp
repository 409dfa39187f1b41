#include "options.h"

#include "dotted_quad.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <sstream>

const char* const DEVSIM_USAGE =
    "usage: corvane-devsim [options]\n"
    "Plays discovery devices on UDP port 36 of this host. Run it only on loopback or in\n"
    "a network namespace of its own: it answers broadcasts.\n"
    "  --devices N            generate N devices (default 3 when no --device is given)\n"
    "  --first-address A      address of the first generated device (default 10.0.0.100)\n"
    "  --mask M               mask of the generated devices (default 255.255.255.0)\n"
    "  --shared-address       the generated devices all have the first address, as a batch\n"
    "                         shipped at one factory address\n"
    "  --device A,M,MAC,ID    one device given in full, e.g. 10.0.0.9,255.0.0.0,00-11-22-33-44-55,7\n"
    "  --bind A               local address to listen on (default 0.0.0.0)\n"
    "  --port P               local port (default 36; 0 lets the system choose)\n"
    "  --reply-broadcast      answer to 255.255.255.255 at the prober's port instead of the prober\n"
    "  --answer-counts N,N... devices answering the 1st, 2nd, ... probe; the last number holds on\n"
    "  --drop-every N         leave out every N-th reply\n"
    "  --repeat N             send every reply N times\n"
    "  --rotate               each probe is answered starting one device later\n"
    "  --delay-ms N           answer N milliseconds after the probe\n"
    "  --ignore-set MAC       the device with this MAC logs set commands but does not apply them\n"
    "  --log-bytes            after each received datagram's line, a line 'bytes' with its bytes in hex\n"
    "  --malformed K,K...     before the replies send bad datagrams: short (19 bytes), long (21),\n"
    "                         swapped (command in the wrong byte order), other (another command)\n"
    "  -h, --help             print this text and exit\n"
    "  -V, --version          print the version and exit\n"
    "Prints one line per event on standard output: first 'listening on ADDRESS port N'.\n";

namespace {

bool ParseInt(const std::string& text, int low, int high, int& value)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= low && value <= high;
}

std::vector<std::string> SplitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, ',');)
        parts.push_back(part);
    return parts;
}

bool ParseQuad(const std::string& text, IpOctets& value)
{
    value = ParseDottedQuad(text.c_str());
    return !IsAllZero(value) || text == "0.0.0.0";
}

bool ParseMac(const std::string& text, MacOctets& mac)
{
    if (text.size() != 17)
        return false;
    for (std::size_t i = 0; i < 6; ++i) {
        if (i > 0 && text[i * 3 - 1] != '-' && text[i * 3 - 1] != ':')
            return false;
        unsigned value = 0;
        auto [ptr, ec] = std::from_chars(text.data() + i * 3, text.data() + i * 3 + 2, value, 16);
        if (ec != std::errc() || ptr != text.data() + i * 3 + 2)
            return false;
        mac[i] = std::uint8_t(value);
    }
    return true;
}

bool ParseDevice(const std::string& text, SimulatedDevice& device)
{
    const std::vector<std::string> parts = SplitCommas(text);
    int id = 0;
    return parts.size() == 4 && ParseQuad(parts[0], device.address) && ParseQuad(parts[1], device.mask) &&
           ParseMac(parts[2], device.mac) && ParseInt(parts[3], 0, 65535, id) &&
           (device.deviceId = std::uint16_t(id), true);
}

} // namespace

bool ParseDevsimOptions(int argc, const char* const* argv, DevsimOptions& options, std::string& error)
{
    int generated = -1;
    IpOctets first{10, 0, 0, 100};
    IpOctets mask{255, 255, 255, 0};
    bool shared = false;
    std::vector<SimulatedDevice> given;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h" || option == "--version" || option == "-V") {
            (option == "--help" || option == "-h" ? options.showHelp : options.showVersion) = true;
            return true;
        }
        if (option == "--reply-broadcast" || option == "--rotate" || option == "--log-bytes" ||
            option == "--shared-address") {
            (option == "--rotate"           ? options.misbehaviour.rotate
             : option == "--shared-address" ? shared
             : option == "--log-bytes" ? options.logBytes
                                       : options.replyByBroadcast) = true;
            continue;
        }
        static const char* const valueOptions[] = {"--devices", "--first-address", "--mask", "--device",
                                                   "--bind", "--port", "--answer-counts", "--drop-every",
                                                   "--repeat", "--delay-ms", "--malformed", "--ignore-set"};
        if (std::find(std::begin(valueOptions), std::end(valueOptions), option) == std::end(valueOptions)) {
            error = "unknown option: " + option;
            return false;
        }
        if (i + 1 >= argc) {
            error = "missing value for " + option;
            return false;
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (option == "--devices")
            ok = ParseInt(value, 0, 100000, generated);
        else if (option == "--first-address")
            ok = ParseQuad(value, first);
        else if (option == "--mask")
            ok = ParseQuad(value, mask);
        else if (option == "--device") {
            SimulatedDevice device;
            ok = ParseDevice(value, device);
            given.push_back(device);
        } else if (option == "--bind")
            options.bindAddress = value;
        else if (option == "--port")
            ok = ParseInt(value, 0, 65535, options.port);
        else if (option == "--answer-counts") {
            for (const std::string& part : SplitCommas(value)) {
                int count = 0;
                ok = ok && ParseInt(part, 0, 100000, count);
                options.misbehaviour.answerCounts.push_back(count);
            }
            ok = ok && !options.misbehaviour.answerCounts.empty();
        } else if (option == "--drop-every")
            ok = ParseInt(value, 0, 1000000, options.misbehaviour.dropEvery);
        else if (option == "--repeat")
            ok = ParseInt(value, 1, 100, options.misbehaviour.repeat);
        else if (option == "--ignore-set") {
            MacOctets mac{};
            ok = ParseMac(value, mac);
            options.misbehaviour.ignoreSets.push_back(mac);
        } else if (option == "--delay-ms")
            ok = ParseInt(value, 0, 60000, options.delayMs);
        else if (option == "--malformed") {
            for (const std::string& kind : SplitCommas(value)) {
                ok = ok && (kind == "short" || kind == "long" || kind == "swapped" || kind == "other");
                options.misbehaviour.malformed.push_back(kind);
            }
        }
        if (!ok) {
            error = "bad value for " + option + ": " + value;
            return false;
        }
    }
    if (generated < 0)
        generated = given.empty() ? 3 : 0;
    options.devices = given;
    for (SimulatedDevice d : GenerateDevices(generated, first, mask)) {
        if (shared)
            d.address = first;
        options.devices.push_back(d);
    }
    return true;
}
