#pragma once
// qarn-reader's command line: one command per run, checked in full before
// anything is sent, so that what the library would refuse is refused here.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum class ReaderCommand { None, Time, SetTime, Info, FileLengths, SendFile, Logs, Special };

using ClockBytes = std::array<unsigned char, 7>;   // the library's clock record

struct ReaderOptions {
    ReaderCommand command = ReaderCommand::None;
    int port = 1;
    // The second family's open names the reader by this record; the
    // library sends its byte 0 as the reader address.
    std::array<unsigned char, 6> identification{1, 0, 0, 0, 0, 0};
    bool json = false;
    bool help = false;
    bool version = false;

    bool setNow = false;   // set-time now: the local clock, read just before sending
    ClockBytes clock{};    // set-time with a date and time

    int fileType = 0;      // send-file
    std::string fileName;

    unsigned maxRecords = 0;   // logs: 0 reads until the reader has none left
    bool acknowledge = true;

    std::vector<unsigned char> commandBytes;   // command
};

extern const char* const READER_USAGE;

// Fills `options` from argv; false with a reason in `error` on a bad command line.
bool ParseReaderOptions(int argc, const char* const* argv, ReaderOptions& options, std::string& error);

// Why the library would refuse (or cut) a download of `size` bytes of this
// type; empty when it takes it.
std::string WhyDownloadRefused(int fileType, std::uintmax_t size);

// The clock record for a calendar time; false when the date does not exist
// or the year is outside what the reader's two-digit year can report.
bool ClockFromCalendar(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                       unsigned second, ClockBytes& clock);
