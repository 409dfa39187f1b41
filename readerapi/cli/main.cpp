// qarn-reader: one reader operation from the command line, through the
// QARNAPI library as any application uses it: its header and shared library.

#include "console.h"
#include "download_progress.h"
#include "qarnapi.h"
#include "reader_options.h"
#include "reader_output.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_READER_FAILED = 1;
constexpr int EXIT_USAGE = 2;

constexpr std::size_t kPayloadBuffer = 255;   // what a reply payload may fill
constexpr std::size_t kMaxDownload = 65535;

int Usage(const std::string& message)
{
    std::fprintf(stderr, "qarn-reader: %s\n", message.c_str());
    return EXIT_USAGE;
}

int Failed(const std::string& what, std::int32_t result, const char* detail = nullptr)
{
    std::fprintf(stderr, "qarn-reader: %s: %s%s%s\n", what.c_str(), ResultName(result).c_str(),
                 detail ? ", " : "", detail ? detail : "");
    return result == RC_PORT_FAILED ? EXIT_USAGE : EXIT_READER_FAILED;
}

const char* const NO_VALID_REPLY = "no valid reply after the retries, or not the status expected";

// Reads the file to download; one over the library's limit is read only
// past the limit, far enough to refuse it.
bool ReadDownload(const std::string& name, std::vector<unsigned char>& data, std::string& error)
{
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot read " + name + ": " + std::strerror(errno);
        return false;
    }
    unsigned char chunk[4096];
    std::size_t got = 0;
    while (data.size() <= kMaxDownload && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        data.insert(data.end(), chunk, chunk + got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = "cannot read " + name;
        return false;
    }
    return true;
}

// One clock, as `{"KEY": "...", "dayOfWeek": N, "weekday": "..."}` or as "PREFIX<time> <weekday>".
void PrintClock(const ReaderOptions& options, const char* jsonKey, const char* plainPrefix, int year,
                const ClockBytes& clock)
{
    const std::string when = ClockText(year, clock);
    const std::string weekday = WeekdayName(clock[6]);
    if (options.json)
        std::printf("{\"%s\": \"%s\", \"dayOfWeek\": %u, \"weekday\": \"%s\"}\n", jsonKey, when.c_str(), clock[6],
                    weekday.c_str());
    else
        std::printf("%s%s %s\n", plainPrefix, when.c_str(), weekday.c_str());
}

int ReadTime(std::int32_t handle, const ReaderOptions& options)
{
    ClockBytes clock{};
    const std::int32_t result = QARNGetTime(handle, clock.data());
    if (result != RC_OK)
        return Failed("reading the clock", result, NO_VALID_REPLY);
    // The library hands the year over as the reader keeps it, in two digits.
    PrintClock(options, "time", "", 2000 + clock[0], clock);
    return EXIT_DONE;
}

bool LocalClock(ClockBytes& clock)
{
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    return local != nullptr &&
           ClockFromCalendar(local->tm_year + 1900, unsigned(local->tm_mon + 1), unsigned(local->tm_mday),
                             unsigned(local->tm_hour), unsigned(local->tm_min),
                             unsigned(std::min(local->tm_sec, 59)), clock);
}

int SetTime(std::int32_t handle, const ReaderOptions& options)
{
    ClockBytes clock = options.clock;
    if (options.setNow && !LocalClock(clock)) {
        std::fprintf(stderr, "qarn-reader: the computer's local time is outside 2000 to 2099\n");
        return EXIT_USAGE;
    }
    const std::int32_t result = QARNSetTime(handle, clock.data());
    if (result != RC_OK)
        return Failed("setting the clock", result, NO_VALID_REPLY);
    PrintClock(options, "set", "clock set to ", 1900 + clock[0], clock);
    return EXIT_DONE;
}

int ReadInfo(std::int32_t handle, const ReaderOptions& options)
{
    // The library copies the record without telling its length: bytes after
    // the last non-zero one cannot be told from the zeros the buffer held.
    unsigned char info[kPayloadBuffer] = {};
    const std::int32_t result = QARNGetReaderInfo(handle, info);
    if (result != RC_OK)
        return Failed("reading the information record", result, NO_VALID_REPLY);
    std::size_t shown = kPayloadBuffer;
    while (shown > 0 && info[shown - 1] == 0)
        --shown;
    if (options.json) {
        std::printf("{\"info\": \"%s\", \"bytesShown\": %zu, \"lengthReported\": false}\n",
                    Hex(info, shown, false).c_str(), shown);
        return EXIT_DONE;
    }
    std::printf("information record, %zu bytes to its last non-zero byte (the library reports no length):\n",
                shown);
    for (std::size_t offset = 0; offset < shown; offset += 16)
        std::printf("%3zu: %s\n", offset, Hex(info + offset, std::min<std::size_t>(16, shown - offset), true).c_str());
    return EXIT_DONE;
}

int ReadFileLengths(std::int32_t handle, const ReaderOptions& options)
{
    std::uint32_t lengths[3] = {};
    const std::int32_t result = QARNGetFileLen(handle, &lengths[0], &lengths[1], &lengths[2]);
    if (result != RC_OK)
        return Failed("reading the file lengths", result, NO_VALID_REPLY);
    if (options.json)
        std::printf("{\"lengths\": [%u, %u, %u]}\n", unsigned(lengths[0]), unsigned(lengths[1]),
                    unsigned(lengths[2]));
    else
        for (int i = 0; i < 3; ++i)
            std::printf("file %d: %u bytes\n", i + 1, unsigned(lengths[i]));
    return EXIT_DONE;
}

int SendFile(std::int32_t handle, const ReaderOptions& options, const std::vector<unsigned char>& data)
{
    const std::string what = "sending " + options.fileName + " (" + std::to_string(data.size()) +
                             " bytes, type " + std::to_string(options.fileType) + ")";
    std::int32_t result = RC_OK;
    {
        DownloadProgress progress(StandardErrorIsTerminal(), what);
        result = QARNSendFile(handle, options.fileType, std::int32_t(data.size()), 0, 0, data.data());
    }
    if (result != RC_OK)
        return Failed(what, result, "a block was not acknowledged or not answered; the blocks before it stay "
                                    "in the reader");
    if (options.json)
        std::printf("{\"file\": %s, \"type\": %d, \"bytes\": %zu}\n", JsonString(options.fileName).c_str(),
                    options.fileType, data.size());
    else
        std::printf("sent %s: %zu bytes as type %d\n", options.fileName.c_str(), data.size(), options.fileType);
    return EXIT_DONE;
}

void PrintRecord(const ReaderOptions& options, const unsigned char* record, unsigned length, bool acknowledged)
{
    if (options.json)
        std::printf("{\"record\": \"%s\", \"length\": %u, \"acknowledged\": %s}\n",
                    Hex(record, length, false).c_str(), length, acknowledged ? "true" : "false");
    else
        std::printf("%s\n", Hex(record, length, true).c_str());
    std::fflush(stdout);   // a record is out before the next wait on the reader
}

int ReadLogs(std::int32_t handle, const ReaderOptions& options)
{
    for (unsigned count = 0; options.maxRecords == 0 || count < options.maxRecords; ++count) {
        unsigned char record[kPayloadBuffer] = {};
        unsigned char length = 0;
        const std::int32_t fetched = QARNGetLogData(handle, record, &length);
        if (fetched == RC_LOG_E4)
            return EXIT_DONE;   // 'Q': no record left
        if (fetched == RC_LOG_E5)
            return Failed("fetching log record " + std::to_string(count + 1), fetched,
                          "the reader answered 'R' and handed out no record");
        if (fetched != RC_OK)
            return Failed("fetching log record " + std::to_string(count + 1), fetched, NO_VALID_REPLY);
        const std::int32_t acked = options.acknowledge ? QARNGetLogAck(handle, 0) : RC_OK;
        PrintRecord(options, record, length, options.acknowledge && acked == RC_OK);
        if (acked == RC_LOG_E4)
            return Failed("acknowledging log record " + std::to_string(count + 1), acked,
                          "the reader answered 'S' and keeps the record");
        if (acked != RC_OK)
            return Failed("acknowledging log record " + std::to_string(count + 1), acked, NO_VALID_REPLY);
    }
    return EXIT_DONE;
}

int SpecialCommand(std::int32_t handle, const ReaderOptions& options)
{
    unsigned char reply[kPayloadBuffer] = {};
    unsigned char length = 0;
    const std::vector<unsigned char>& bytes = options.commandBytes;
    const std::int32_t result = QARNSpecialCommand(handle, bytes.data(), std::int32_t(bytes.size()), reply, &length);
    if (result != RC_OK)
        return Failed("command " + Hex(bytes.data(), bytes.size(), true), result, NO_VALID_REPLY);
    if (options.json)
        std::printf("{\"reply\": \"%s\", \"length\": %u}\n", Hex(reply, length, false).c_str(), unsigned(length));
    else
        std::printf("reply, %u byte%s: %s\n", unsigned(length), length == 1 ? "" : "s",
                    Hex(reply, length, true).c_str());
    return EXIT_DONE;
}

int RunCommand(std::int32_t handle, const ReaderOptions& options, const std::vector<unsigned char>& download)
{
    switch (options.command) {
    case ReaderCommand::Time: return ReadTime(handle, options);
    case ReaderCommand::SetTime: return SetTime(handle, options);
    case ReaderCommand::Info: return ReadInfo(handle, options);
    case ReaderCommand::FileLengths: return ReadFileLengths(handle, options);
    case ReaderCommand::SendFile: return SendFile(handle, options, download);
    case ReaderCommand::Logs: return ReadLogs(handle, options);
    case ReaderCommand::Special: return SpecialCommand(handle, options);
    case ReaderCommand::None: break;
    }
    return EXIT_USAGE;
}

} // namespace

int main(int argc, char** argv)
{
    ReaderOptions options;
    std::string error;
    if (!ParseReaderOptions(argc, argv, options, error))
        return Usage(error);
    if (options.help) {
        std::fputs(READER_USAGE, stdout);
        return EXIT_DONE;
    }
    if (options.version) {
        std::printf("qarn-reader %s\n", FIELDKIT_VERSION);
        return EXIT_DONE;
    }

    // Everything the library would refuse is refused before the port is opened.
    std::vector<unsigned char> download;
    if (options.command == ReaderCommand::SendFile) {
        if (!ReadDownload(options.fileName, download, error))
            return Usage(error);
        const std::string why = WhyDownloadRefused(options.fileType, download.size());
        if (!why.empty())
            return Usage(options.fileName + " " + why);
    }

    const std::string port = "COM" + std::to_string(options.port);
    if (!CheckPortBeforeLibrary(options.port, error)) {
        std::fprintf(stderr, "qarn-reader: cannot open %s: %s; the library would fail with %s\n", port.c_str(),
                     error.c_str(), ResultName(RC_PORT_FAILED).c_str());
        return EXIT_USAGE;
    }
    std::int32_t result = QARNStartAPI(options.port);
    if (result != RC_OK)
        return Failed("cannot open " + port, result, "no such port, or another program holds it");

    std::int32_t handle = -1;
    result = TRQOpenReader(&handle, options.identification.data(), 0);
    if (result != RC_OK) {
        QARNTerminateAPI();
        return Failed("the reader at address " + std::to_string(options.identification[0]) + " on " + port +
                          " did not accept the open",
                      result, NO_VALID_REPLY);
    }
    int status = RunCommand(handle, options, download);
    result = TRQCloseReader(handle);
    if (result != RC_OK) {
        Failed("closing the reader", result, NO_VALID_REPLY);
        status = status == EXIT_DONE ? EXIT_READER_FAILED : status;
    }
    QARNTerminateAPI();
    return status;
}
