#include "scan_options.h"

#include <charconv>
#include <cstring>

const char* const SCAN_USAGE =
    "usage: corvane-scan [--interface NAME] [--timeout MS] [--json] [--stats]\n"
    "Sends one discovery probe out of every network interface that is up, has an IPv4\n"
    "address and can broadcast (or only out of NAME), and lists the devices that answer.\n"
    "  --interface NAME  probe this interface only\n"
    "  --timeout MS      how long to wait for answers after the last probe (default 500)\n"
    "  --json            print a JSON array of devices instead of text lines\n"
    "  --stats           also report on standard error how many probes went out and how\n"
    "                    long it took from the first probe to the last device\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "An option's value may also follow an equals sign: --interface=NAME, --timeout=MS.\n"
    "Exit status: 0 devices found, 1 none found, 2 error (also when the output cannot\n"
    "be written).\n";

namespace {

constexpr int MAX_TIMEOUT_MS = 600000;

} // namespace

bool ParseScanOptions(int argc, const char* const* argv, ScanOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        // "--name=value" is "--name value" in one argument.
        std::string option = argv[i];
        std::string value;
        const std::size_t equals = option.rfind("--", 0) == 0 ? option.find('=') : std::string::npos;
        const bool joined = equals != std::string::npos;
        if (joined) {
            value = option.substr(equals + 1);
            option.erase(equals);
        }
        if (option == "--json" || option == "--stats" || option == "--help" || option == "-h" ||
            option == "--version") {
            if (joined) {
                error = option + " takes no value";
                return false;
            }
            (option == "--json"      ? options.json
             : option == "--stats"   ? options.stats
             : option == "--version" ? options.version
                                     : options.help) = true;
            continue;
        }
        if (option != "--timeout" && option != "--interface") {
            error = "unknown option: " + option;
            return false;
        }
        if (!joined) {
            if (i + 1 >= argc) {
                error = option + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (option == "--interface") {
            if (value.empty()) {
                error = "--interface needs a name";
                return false;
            }
            options.interfaceName = value;
            continue;
        }
        int ms = 0;
        const char* end = value.data() + value.size();
        const auto [ptr, ec] = std::from_chars(value.data(), end, ms);
        if (ec != std::errc() || ptr != end || ms < 1 || ms > MAX_TIMEOUT_MS) {
            error = "--timeout takes milliseconds from 1 to " + std::to_string(MAX_TIMEOUT_MS) + ": " + value;
            return false;
        }
        options.timeoutMs = ms;
    }
    return true;
}
