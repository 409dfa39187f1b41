#include "reader_options.h"

#include <charconv>
#include <chrono>
#include <cstring>

const char* const READER_USAGE =
    "usage: qarn-reader [--port N] [--address A | --id HEX12] [--json] COMMAND [ARGUMENTS]\n"
    "Drives one reader on serial port COMn through the QARNAPI library.\n"
    "Commands:\n"
    "  time                         print the reader's clock and weekday\n"
    "  set-time now|YYYY-MM-DDTHH:MM:SS\n"
    "                               set the reader's clock (the weekday is computed;\n"
    "                               now is the computer's local time)\n"
    "  info                         print the reader's information record in hex\n"
    "  file-lengths                 print the reader's three file lengths\n"
    "  send-file --type 1|2|3 FILE  download FILE (at most 65535 bytes; type 3 in\n"
    "                               40-byte records)\n"
    "  logs [--max N] [--no-ack]    fetch and acknowledge log records until the reader\n"
    "                               has none left or N are read, one a line; --no-ack\n"
    "                               shows the next record and leaves it in the reader\n"
    "  command HEX...               pass a special command (84 00, 86 DATA..., 89, 8A,\n"
    "                               8B or 8C) and print the reply\n"
    "Options:\n"
    "  --port N       serial port COMn (default 1); on Linux COMn opens the device\n"
    "                 named by the environment variable COMn, else /dev/ttyS(n-1)\n"
    "  --address A    reader address 0 to 255 (default 1)\n"
    "  --id HEX12     the reader's six-byte identification, 12 hex digits; the\n"
    "                 library sends its first byte as the address\n"
    "  --json         print JSON: one object, or one object a line for logs\n"
    "  -h, --help     show this text\n"
    "  -V, --version  show the version\n"
    "The reader's clock is not changed except by set-time.\n"
    "Exit status: 0 done, 1 the reader answered with a failure or did not answer,\n"
    "2 bad usage or a port that cannot be opened.\n";

namespace {

constexpr std::uintmax_t kMaxDownload = 65535;   // the library takes the length's low 16 bits
constexpr std::uintmax_t kRecordSize = 40;
constexpr std::size_t kMaxCommandBytes = 255;    // ... and the command length's low 8 bits

// Decimal, or hexadecimal after 0x.
bool ParseNumber(const std::string& text, unsigned long max, unsigned long& value)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (hex ? 2 : 0);
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value, hex ? 16 : 10);
    return begin != end && ec == std::errc() && ptr == end && value <= max;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Appends the bytes of an even number of hex digits.
bool AppendHex(const std::string& text, std::vector<unsigned char>& bytes)
{
    if (text.empty() || text.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    return true;
}

// YYYY-MM-DDTHH:MM:SS, every digit in place.
bool ParseDateTime(const std::string& text, ClockBytes& clock)
{
    static const char pattern[] = "dddd-dd-ddTdd:dd:dd";
    if (text.size() != sizeof pattern - 1)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'd' ? !digit : text[i] != pattern[i])
            return false;
    }
    const auto field = [&](std::size_t at, std::size_t width) {
        unsigned value = 0;
        std::from_chars(text.data() + at, text.data() + at + width, value);
        return value;
    };
    return ClockFromCalendar(int(field(0, 4)), field(5, 2), field(8, 2), field(11, 2), field(14, 2),
                             field(17, 2), clock);
}

// Only these reach the reader; the library refuses any other first byte, and
// ignores bytes after 84 00 and after 89 to 8C, which are refused here.
std::string WhySpecialCommandRefused(const std::vector<unsigned char>& bytes)
{
    if (bytes.empty())
        return "command needs the command bytes in hex, for example: command 89";
    if (bytes.size() > kMaxCommandBytes)
        return "a command has at most 255 bytes, the command byte included";
    const unsigned char first = bytes[0];
    if (first == 0x84)
        return bytes.size() == 2 && bytes[1] == 0 ? "" : "command 84 takes exactly one more byte, 00";
    if (first == 0x86)
        return "";
    if (first >= 0x89 && first <= 0x8C)
        return bytes.size() == 1 ? "" : "commands 89 to 8C take no data bytes";
    return "the library passes only the commands 84 00, 86 DATA..., 89, 8A, 8B and 8C";
}

struct CommandName {
    const char* name;
    ReaderCommand command;
    std::size_t minOperands;
    std::size_t maxOperands;
};

constexpr CommandName kCommands[] = {
    {"time", ReaderCommand::Time, 0, 0},
    {"set-time", ReaderCommand::SetTime, 1, 1},
    {"info", ReaderCommand::Info, 0, 0},
    {"file-lengths", ReaderCommand::FileLengths, 0, 0},
    {"send-file", ReaderCommand::SendFile, 1, 1},
    {"logs", ReaderCommand::Logs, 0, 0},
    {"command", ReaderCommand::Special, 1, SIZE_MAX},
};

bool CheckOperands(const CommandName& name, const std::vector<std::string>& operands,
                   ReaderOptions& options, std::string& error)
{
    if (operands.size() < name.minOperands || operands.size() > name.maxOperands) {
        error = std::string(name.name) +
                (operands.size() < name.minOperands ? " needs an argument" : " takes no more arguments");
        return false;
    }
    switch (name.command) {
    case ReaderCommand::SetTime:
        if (operands[0] == "now") {
            options.setNow = true;
            return true;
        }
        if (!ParseDateTime(operands[0], options.clock)) {
            error = "set-time takes now or a date and time YYYY-MM-DDTHH:MM:SS from 2000 to 2099: " +
                    operands[0];
            return false;
        }
        return true;
    case ReaderCommand::SendFile:
        options.fileName = operands[0];
        if (options.fileType == 0) {
            error = "send-file needs --type 1, 2 or 3";
            return false;
        }
        return true;
    case ReaderCommand::Special:
        for (const std::string& operand : operands)
            if (!AppendHex(operand, options.commandBytes)) {
                error = "command bytes are pairs of hex digits: " + operand;
                return false;
            }
        error = WhySpecialCommandRefused(options.commandBytes);
        return error.empty();
    default:
        return true;
    }
}

} // namespace

bool ClockFromCalendar(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                       unsigned second, ClockBytes& clock)
{
    using namespace std::chrono;
    const year_month_day date{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
    // The reader reports its year in two digits.
    if (year < 2000 || year > 2099 || !date.ok() || hour > 23 || minute > 59 || second > 59)
        return false;
    const unsigned dayOfWeek = weekday{sys_days{date}}.c_encoding();   // 0 is Sunday
    clock = {static_cast<unsigned char>(year - 1900), static_cast<unsigned char>(month),
             static_cast<unsigned char>(day),         static_cast<unsigned char>(hour),
             static_cast<unsigned char>(minute),      static_cast<unsigned char>(second),
             static_cast<unsigned char>(dayOfWeek)};
    return true;
}

std::string WhyDownloadRefused(int fileType, std::uintmax_t size)
{
    if (size > kMaxDownload)
        return "has more than 65535 bytes, the most the library takes (it would send only the "
               "length's low 16 bits)";
    if (fileType == 3 && size % kRecordSize != 0)
        return "has " + std::to_string(size) +
               " bytes; type 3 goes in 40-byte records, and the library refuses a length that is not "
               "a multiple of 40 with RC_FAILED (255)";
    return "";
}

bool ParseReaderOptions(int argc, const char* const* argv, ReaderOptions& options, std::string& error)
{
    std::vector<std::string> positional;
    bool addressGiven = false;
    bool idGiven = false;
    bool typeGiven = false;
    bool maxGiven = false;
    bool noAckGiven = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (optionsEnded || option.size() < 2 || option[0] != '-') {
            positional.push_back(option);
            continue;
        }
        if (option == "--") {
            optionsEnded = true;
            continue;
        }
        if (option == "--json" || option == "--no-ack" || option == "--help" || option == "-h" ||
            option == "--version" || option == "-V") {
            (option == "--json"                          ? options.json
             : option == "--no-ack"                      ? noAckGiven
             : option == "--version" || option == "-V" ? options.version
                                                         : options.help) = true;
            continue;
        }
        if (option != "--port" && option != "--address" && option != "--id" && option != "--type" &&
            option != "--max") {
            error = "unknown option: " + option + " (qarn-reader --help lists them)";
            return false;
        }
        if (i + 1 >= argc) {
            error = option + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        unsigned long number = 0;
        if (option == "--port") {
            if (!ParseNumber(value, 65535, number) || number == 0) {
                error = "--port takes a port number from 1 to 65535: " + value;
                return false;
            }
            options.port = int(number);
        } else if (option == "--address") {
            if (!ParseNumber(value, 255, number)) {
                error = "--address takes a reader address from 0 to 255: " + value;
                return false;
            }
            options.identification = {static_cast<unsigned char>(number), 0, 0, 0, 0, 0};
            addressGiven = true;
        } else if (option == "--id") {
            std::vector<unsigned char> bytes;
            if (value.size() != 12 || !AppendHex(value, bytes)) {
                error = "--id takes the six-byte identification as 12 hex digits: " + value;
                return false;
            }
            std::memcpy(options.identification.data(), bytes.data(), bytes.size());
            idGiven = true;
        } else if (option == "--type") {
            if (value != "1" && value != "2" && value != "3") {
                error = "--type takes the file type 1, 2 or 3: " + value;
                return false;
            }
            options.fileType = value[0] - '0';
            typeGiven = true;
        } else {
            if (!ParseNumber(value, 0xFFFFFFFFul, number) || number == 0) {
                error = "--max takes a number of records, at least 1: " + value;
                return false;
            }
            options.maxRecords = unsigned(number);
            maxGiven = true;
        }
    }
    if (options.help || options.version)
        return true;
    if (addressGiven && idGiven) {
        error = "--address and --id exclude each other";
        return false;
    }
    if (positional.empty()) {
        error = "no command given (qarn-reader --help lists them)";
        return false;
    }
    const CommandName* name = nullptr;
    for (const CommandName& candidate : kCommands)
        if (positional[0] == candidate.name)
            name = &candidate;
    if (name == nullptr) {
        error = "unknown command: " + positional[0] + " (qarn-reader --help lists them)";
        return false;
    }
    options.command = name->command;
    if (typeGiven && options.command != ReaderCommand::SendFile) {
        error = "--type belongs to send-file";
        return false;
    }
    if ((maxGiven || noAckGiven) && options.command != ReaderCommand::Logs) {
        error = std::string(maxGiven ? "--max" : "--no-ack") + " belongs to logs";
        return false;
    }
    if (noAckGiven) {
        // Unacknowledged, the record stays first in the reader's log: a second
        // fetch would only hand out the same record again.
        if (options.maxRecords > 1) {
            error = "--no-ack shows one record, which stays in the reader; --max does not apply";
            return false;
        }
        options.acknowledge = false;
        options.maxRecords = 1;
    }
    return CheckOperands(*name, {positional.begin() + 1, positional.end()}, options, error);
}
