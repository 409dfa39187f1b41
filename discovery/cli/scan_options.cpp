#include "scan_options.h"

#include "option_words.h"

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

bool ParseScanOptions(int argc, const char* const* argv, ScanOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        OptionWord option = SplitOptionWord(argv[i]);
        if (option.name == "--json" || option.name == "--stats" || option.name == "--help" ||
            option.name == "-h" || option.name == "--version") {
            if (!RefuseOptionValue(option, error))
                return false;
            (option.name == "--json"      ? options.json
             : option.name == "--stats"   ? options.stats
             : option.name == "--version" ? options.version
                                          : options.help) = true;
            continue;
        }
        if (option.name != "--timeout" && option.name != "--interface") {
            error = "unknown option: " + option.name;
            return false;
        }
        if (!TakeOptionValue(option, argc, argv, i, error))
            return false;
        if (option.name == "--timeout") {
            if (!ParseTimeoutMs(option.value, options.timeoutMs, error))
                return false;
            continue;
        }
        if (option.value.empty()) {
            error = "--interface needs a name";
            return false;
        }
        options.interfaceName = option.value;
    }
    return true;
}
