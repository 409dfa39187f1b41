// qarn-reader: one reader operation from the command line, through the
// QARNAPI library as any application uses it: its header and shared library.

#include "console.h"
#include "download_progress.h"
#include "json_text.h"
#include "qarnapi.h"
#include "reader_options.h"
#include "reader_output.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
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
    std::fprintf(stderr, "qarn-reader: %s\n", Printable(message).c_str());
    return EXIT_USAGE;
}

int Failed(const std::string& what, std::int32_t result, const char* detail = nullptr)
{
    std::fprintf(stderr, "qarn-reader: %s: %s%s%s\n", Printable(what).c_str(), ResultName(result).c_str(),
                 detail ? ", " : "", detail ? detail : "");
    return result == RC_PORT_FAILED ? EXIT_USAGE : EXIT_READER_FAILED;
}

// Standard output, flushed and checked on every write: a command whose
// output did not get out has failed.
bool WriteOut(const std::string& text, int& error)
{
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
        return true;
    error = errno;
    return false;
}

int OutputFailed(const std::string& what, int error)
{
    std::fprintf(stderr, "qarn-reader: %s: cannot write to standard output: %s\n", Printable(what).c_str(),
                 error != 0 ? std::strerror(error) : "write failed");
    return EXIT_READER_FAILED;
}

int Print(const std::string& what, const std::string& text)
{
    int error = 0;
    return WriteOut(text, error) ? EXIT_DONE : OutputFailed(what, error);
}

std::string Format(const char* format, ...)
{
    std::va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(size > 0 ? std::size_t(size) : 0, '\0');
    if (size > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

const char* const NO_VALID_REPLY = "no valid reply after the retries, or not the status expected";

// Reads the file to download; one over the library's limit is read only
// past the limit, far enough to refuse it. Only a regular file is read, so
// the read ends, and before anything is sent.
bool ReadDownload(const std::string& name, std::vector<unsigned char>& data, std::string& error)
{
    std::string why;
    std::FILE* file = OpenRegularFile(name, why);
    if (file == nullptr) {
        error = "cannot read " + name + ": " + why;
        return false;
    }
    unsigned char chunk[4096];
    std::size_t got = 0;
    while (data.size() <= kMaxDownload && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        data.insert(data.end(), chunk, chunk + got);
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) {
        error = "cannot read " + name + ": " + std::strerror(readError);
        return false;
    }
    return true;
}

// One clock, as `{"KEY": "...", "dayOfWeek": N, "weekday": "..."}` or as "PREFIX<time> <weekday>".
std::string ClockLine(const ReaderOptions& options, const char* jsonKey, const char* plainPrefix, int year,
                      const ClockBytes& clock)
{
    const std::string when = ClockText(year, clock);
    const std::string weekday = WeekdayName(clock[6]);
    if (options.json)
        return Format("{\"%s\": \"%s\", \"dayOfWeek\": %u, \"weekday\": \"%s\"}\n", jsonKey, when.c_str(),
                      clock[6], weekday.c_str());
    return Format("%s%s %s\n", plainPrefix, when.c_str(), weekday.c_str());
}

int ReadTime(std::int32_t handle, const ReaderOptions& options)
{
    ClockBytes clock{};
    const std::int32_t result = QARNGetTime(handle, clock.data());
    if (result != RC_OK)
        return Failed("reading the clock", result, NO_VALID_REPLY);
    // The library hands the year over as the reader keeps it, in two digits.
    return Print("printing the clock", ClockLine(options, "time", "", 2000 + clock[0], clock));
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

const char* const kClockOutOfRange = "the computer's local time is outside 2000 to 2099";

int SetTime(std::int32_t handle, const ReaderOptions& options)
{
    ClockBytes clock = options.clock;
    // Read again just before sending; main refused a clock out of range.
    if (options.setNow && !LocalClock(clock))
        return Usage(kClockOutOfRange);
    const std::int32_t result = QARNSetTime(handle, clock.data());
    if (result != RC_OK)
        return Failed("setting the clock", result, NO_VALID_REPLY);
    return Print("printing the clock set", ClockLine(options, "set", "clock set to ", 1900 + clock[0], clock));
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
    if (options.json)
        return Print("printing the information record",
                     Format("{\"info\": \"%s\", \"bytesShown\": %zu, \"lengthReported\": false}\n",
                            Hex(info, shown, false).c_str(), shown));
    std::string text =
        Format("information record, %zu bytes to its last non-zero byte (the library reports no length):\n", shown);
    for (std::size_t offset = 0; offset < shown; offset += 16)
        text += Format("%3zu: %s\n", offset, Hex(info + offset, std::min<std::size_t>(16, shown - offset), true).c_str());
    return Print("printing the information record", text);
}

int ReadFileLengths(std::int32_t handle, const ReaderOptions& options)
{
    std::uint32_t lengths[3] = {};
    const std::int32_t result = QARNGetFileLen(handle, &lengths[0], &lengths[1], &lengths[2]);
    if (result != RC_OK)
        return Failed("reading the file lengths", result, NO_VALID_REPLY);
    std::string text;
    if (options.json)
        text = Format("{\"lengths\": [%u, %u, %u]}\n", unsigned(lengths[0]), unsigned(lengths[1]),
                      unsigned(lengths[2]));
    else
        for (int i = 0; i < 3; ++i)
            text += Format("file %d: %u bytes\n", i + 1, unsigned(lengths[i]));
    return Print("printing the file lengths", text);
}

int SendFile(std::int32_t handle, const ReaderOptions& options, const std::vector<unsigned char>& data)
{
    const std::string what = "sending " + options.fileName + " (" + std::to_string(data.size()) +
                             " bytes, type " + std::to_string(options.fileType) + ")";
    std::int32_t result = RC_OK;
    {
        DownloadProgress progress(StandardErrorIsTerminal(options.port), Printable(what));
        result = QARNSendFile(handle, options.fileType, std::int32_t(data.size()), 0, 0, data.data());
    }
    if (result != RC_OK)
        return Failed(what, result, "a block was not acknowledged or not answered; the blocks before it stay "
                                    "in the reader");
    if (options.json)
        return Print(what, Format("{\"file\": %s, \"type\": %d, \"bytes\": %zu}\n",
                                  json_text::JsonString(options.fileName).c_str(), options.fileType, data.size()));
    return Print(what, Format("sent %s: %zu bytes as type %d\n", Printable(options.fileName).c_str(), data.size(),
                              options.fileType));
}

// Beyond what a reader can hold: its lengths are 16-bit, so one store holds
// at most 65536 bytes, and a log record has at least the 16 bytes the
// library repeats for a repeat record. A reader that hands out more is not
// emptying a log.
constexpr unsigned kMostLogRecords = 65536 / 16;

// What the library left in the caller's buffer: it writes the reply's
// length of bytes for a record, and for a repeat record (byte 5 = 0xFF in
// the reply) the first 16 bytes of the last record it handed out, with the
// reply's length in the length byte. The buffer is filled beforehand so
// that the two can be told apart: bytes 0 to 15 unlike the repeat's.
struct LogFetch {
    unsigned char record[kPayloadBuffer];
    unsigned char length = 0;
    unsigned char repeated[16] = {};   // the library's copy of the last record, as far as it repeats it

    void prepare()
    {
        for (std::size_t i = 0; i < sizeof record; ++i)
            record[i] = i < sizeof repeated ? static_cast<unsigned char>(~repeated[i]) : 0xA5;
    }

    // A repeat is the 16 bytes and nothing written after them.
    bool isRepeat() const
    {
        if (std::memcmp(record, repeated, sizeof repeated) != 0)
            return false;
        return std::all_of(record + sizeof repeated, record + sizeof record,
                           [](unsigned char b) { return b == 0xA5; });
    }
};

std::string RecordLine(const ReaderOptions& options, const unsigned char* record, unsigned length, bool repeat)
{
    if (options.json)
        return Format("{\"record\": \"%s\", \"length\": %u, \"repeat\": %s, \"acknowledged\": %s}\n",
                      Hex(record, length, false).c_str(), length, repeat ? "true" : "false",
                      options.acknowledge ? "true" : "false");
    return Hex(record, length, true) + "\n";
}

// Each record is written out and flushed before it is acknowledged: one the
// output did not take stays in the reader for the next run.
int ReadLogs(std::int32_t handle, const ReaderOptions& options)
{
    LogFetch fetch;
    std::vector<unsigned char> previous;   // the record before, when it was not a repeat
    for (unsigned count = 0; options.maxRecords == 0 || count < options.maxRecords; ++count) {
        const std::string which = "log record " + std::to_string(count + 1);
        fetch.prepare();
        const std::int32_t fetched = QARNGetLogData(handle, fetch.record, &fetch.length);
        if (fetched == RC_LOG_E4)
            return EXIT_DONE;   // 'Q': no record left
        if (fetched == RC_LOG_E5)
            return Failed("fetching " + which, fetched, "the reader answered 'R' and handed out no record");
        if (fetched != RC_OK)
            return Failed("fetching " + which, fetched, NO_VALID_REPLY);
        if (count == kMostLogRecords) {
            std::fprintf(stderr, "qarn-reader: the reader hands out more than %u log records, more than a reader "
                                 "holds; stopped without showing or acknowledging %s\n",
                         kMostLogRecords, which.c_str());
            return EXIT_READER_FAILED;
        }
        const bool repeat = fetch.isRepeat();
        const unsigned length = repeat ? unsigned(sizeof fetch.repeated) : fetch.length;
        const std::vector<unsigned char> bytes(fetch.record, fetch.record + length);
        if (!repeat && bytes == previous) {
            std::fprintf(stderr, "qarn-reader: %s is the record before it again: the reader kept the record "
                                 "acknowledged; stopped without showing or acknowledging it\n",
                         which.c_str());
            return EXIT_READER_FAILED;
        }
        int error = 0;
        if (!WriteOut(RecordLine(options, bytes.data(), length, repeat), error)) {
            std::fprintf(stderr, "qarn-reader: %s: cannot write to standard output: %s; it was not acknowledged "
                                 "and stays in the reader\n",
                         which.c_str(), error != 0 ? std::strerror(error) : "write failed");
            return EXIT_READER_FAILED;
        }
        if (!repeat) {
            previous = bytes;
            std::memcpy(fetch.repeated, bytes.data(), std::min<std::size_t>(length, sizeof fetch.repeated));
        } else {
            previous.clear();
        }
        if (!options.acknowledge)
            continue;
        const std::int32_t acked = QARNGetLogAck(handle, 0);
        if (acked == RC_LOG_E4)
            return Failed("acknowledging " + which, acked, "the reader answered 'S' and keeps the record");
        if (acked != RC_OK)
            return Failed("acknowledging " + which, acked, NO_VALID_REPLY);
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
        return Print("printing the reply",
                     Format("{\"reply\": \"%s\", \"length\": %u}\n", Hex(reply, length, false).c_str(),
                            unsigned(length)));
    return Print("printing the reply", Format("reply, %u byte%s: %s\n", unsigned(length), length == 1 ? "" : "s",
                                              Hex(reply, length, true).c_str()));
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
    PrepareStandardStreams();
    ReaderOptions options;
    std::string error;
    if (!ParseReaderOptions(argc, argv, options, error))
        return Usage(error);
    if (options.help)
        return Print("--help", READER_USAGE);
    if (options.version)
        return Print("--version", Format("qarn-reader %s\n", FIELDKIT_VERSION));

    // Everything the library would refuse is refused before the port is opened.
    std::vector<unsigned char> download;
    ClockBytes now{};
    if (options.setNow && !LocalClock(now))
        return Usage(kClockOutOfRange);
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
                     Printable(error).c_str(), ResultName(RC_PORT_FAILED).c_str());
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
