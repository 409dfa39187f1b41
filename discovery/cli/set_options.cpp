#include "set_options.h"

#include "address_rules.h"
#include "dotted_quad.h"
#include "option_words.h"

const char* const SET_USAGE =
    "usage: corvane-set [options] MAC ADDRESS [MASK]\n"
    "       corvane-set [options] --from FILE\n"
    "       corvane-set [options] --renumber ADDRESS --first ADDRESS [--mask MASK]\n"
    "Changes a device's IP address, and its mask when one is given, naming it by its MAC\n"
    "address (02-C0-4E-00-00-01 or 02:C0:4E:00:00:01), then rescans until it answers\n"
    "with the new values. A scan first finds each device and the interface it answers\n"
    "on; the change goes out of that interface only.\n"
    "  --from FILE       one MAC ADDRESS [MASK] a line, '#' starts a comment; '-' reads\n"
    "                    standard input. Every line is checked before anything is sent.\n"
    "  --renumber ADDRESS  every device answering with ADDRESS, in MAC order, gets the\n"
    "                    next address from --first upward that no device answered with;\n"
    "                    refused when the range leaves the subnet (of --mask, else of\n"
    "                    each device's own mask) before every device has one\n"
    "  --first ADDRESS   the first address of the range\n"
    "  --mask MASK       the mask the renumbered devices get (default: each keeps its own)\n"
    "  --interface NAME  look for the devices on this interface only\n"
    "  --timeout MS      how long to rescan for the new values (default 5000)\n"
    "  --json            print a JSON array with one object per device\n"
    "  --dry-run         find the devices and show what would be sent; send nothing\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "An option's value may also follow an equals sign: --from=FILE, --timeout=MS.\n"
    "A new address that another device answered with, or that is this PC's own, or\n"
    "one given to two devices, is refused before anything is sent.\n"
    "Exit status: 0 every change confirmed (or nothing to change), 1 a change not\n"
    "confirmed or a device not found or ambiguous, 2 bad usage, bad input or no usable\n"
    "interface (also when the output cannot be written).\n";

bool ParseSetOptions(int argc, const char* const* argv, SetOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        OptionWord option = SplitOptionWord(argv[i]);
        if (option.name.rfind("-", 0) != 0) {
            options.change.push_back(option.name);
            continue;
        }
        if (option.name == "--json" || option.name == "--dry-run" || option.name == "--help" ||
            option.name == "-h" || option.name == "--version") {
            if (!RefuseOptionValue(option, error))
                return false;
            (option.name == "--json"      ? options.json
             : option.name == "--dry-run" ? options.dryRun
             : option.name == "--version" ? options.version
                                          : options.help) = true;
            continue;
        }
        if (option.name != "--timeout" && option.name != "--interface" && option.name != "--from" &&
            option.name != "--renumber" && option.name != "--first" && option.name != "--mask") {
            error = "unknown option: " + option.name;
            return false;
        }
        if (!TakeOptionValue(option, argc, argv, i, error))
            return false;
        if (option.name == "--timeout") {
            if (!ParseTimeoutMs(option.value, options.timeoutMs, error))
                return false;
        } else if (option.name == "--renumber" || option.name == "--first" || option.name == "--mask") {
            // By the window's rules; the address renumbered from is any address a device may have.
            const IpOctets value = ParseAddressField(option.value);
            const bool mask = option.name == "--mask";
            const bool acceptable = mask ? IsAcceptableMask(value)
                                    : option.name == "--first" ? IsAcceptableAddress(value)
                                                               : !IsAllZero(value);
            if (!acceptable) {
                error = option.name + ": " + (mask ? "Invalid mask: " : "Invalid IP address: ") + option.value;
                return false;
            }
            (option.name == "--renumber" ? options.renumberFrom : mask ? options.mask : options.first) = value;
            (option.name == "--renumber" ? options.renumber : mask ? options.maskGiven : options.firstGiven) = true;
        } else if (option.value.empty()) {
            error = option.name + (option.name == "--from" ? " needs a file" : " needs a name");
            return false;
        } else if (option.name == "--from") {
            options.fromFile = option.value;
            options.fromGiven = true;
        } else {
            options.interfaceName = option.value;
        }
    }
    if (options.help || options.version)
        return true;
    if (options.renumber || options.firstGiven || options.maskGiven) {
        if (!options.renumber || !options.firstGiven) {
            error = "--renumber and --first go together, and --mask only with them";
            return false;
        }
        if (options.fromGiven || !options.change.empty()) {
            error = "give one of MAC ADDRESS [MASK], --from and --renumber";
            return false;
        }
        return true;
    }
    if (options.fromGiven && !options.change.empty()) {
        error = "give either MAC ADDRESS [MASK] or --from, not both";
        return false;
    }
    if (!options.fromGiven && (options.change.size() < 2 || options.change.size() > 3)) {
        error = options.change.empty() ? "nothing to change: give MAC ADDRESS [MASK] or --from FILE"
                                       : "expected MAC ADDRESS [MASK]";
        return false;
    }
    return true;
}
