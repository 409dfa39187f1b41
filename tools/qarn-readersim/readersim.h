// A reader on the far side of a pseudo-terminal, for tests and for trying
// an application without hardware. It echoes every byte the host sends, as
// the reader's line does, parses request frames and answers them. Faults
// can be queued: each applies to one request, in the order queued.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace readersim {

enum class Fault {
    None,
    NoEcho,            // the request's bytes are not echoed; the reply still comes
    NoReply,           // the request is acted on but not answered
    WrongStart,        // the reply starts with 0xF9 instead of 0xF8
    BadChecksum,       // the reply's checksum is inverted
    CutAfterStatus,    // the reply stops after its status byte
    CutAfterLength,    // ... after its length byte
    CutInPayload,      // ... after half of its payload
    CutBeforeChecksum, // ... just before its checksum
    SlowFirstByte,     // the reply comes delayMs late
    UnexpectedStatus,  // the reply carries status instead of the usual one
    CustomReply,       // the reply is status and payload as given
};

struct InjectedFault {
    Fault kind = Fault::None;
    std::uint32_t delayMs = 0;
    std::uint8_t status = 0;
    std::vector<std::uint8_t> payload;
};

struct Request {
    std::uint8_t command = 0;
    std::vector<std::uint8_t> payload;
};

using ClockRecord = std::array<std::uint8_t, 7>;

// Offsets of the big-endian 16-bit fields of the information record.
constexpr std::size_t kInfoWordOffsets[] = {11, 13, 19, 25, 31, 37, 42, 48};

class ReaderSim {
public:
    ReaderSim();
    ~ReaderSim();
    ReaderSim(const ReaderSim &) = delete;
    ReaderSim &operator=(const ReaderSim &) = delete;

    // False when no pseudo-terminal could be had.
    bool ok() const { return master_ >= 0; }
    // The device the host opens: what COMn should name.
    const std::string &devicePath() const { return path_; }

    void queueFault(InjectedFault fault);
    void queueLogRecord(std::vector<std::uint8_t> record);
    // Acknowledgements are answered with 'S' while this is set.
    void refuseAcknowledgements(bool refuse);
    // Requests are echoed and acted on but never answered while this is set.
    void answerNothing(bool silent);
    // Acknowledgements are answered with '@' but the record stays first.
    void ignoreAcknowledgements(bool ignore);
    // Every log request is answered with a record of its own, without end.
    void endlessLog(bool endless);
    void setInformation(std::vector<std::uint8_t> record);
    void setFileLengths(std::uint16_t length1, std::uint16_t length2, std::uint16_t length3);

    // Every well-formed request received, in order.
    std::vector<Request> requests() const;
    void forgetRequests();
    // Set by CMD_SET_TIME; years since 1900, plain numbers.
    ClockRecord clock() const;
    std::vector<std::uint8_t> file(int type) const;
    std::vector<std::vector<std::uint8_t>> records() const;
    std::size_t logRecordsLeft() const;
    // Bytes that were not part of a well-formed request: text, or frames
    // that failed their checksum.
    std::size_t strayBytes() const;

private:
    struct Pending {
        std::uint64_t dueMs;
        std::vector<std::uint8_t> bytes;
    };

    void serve();
    // Feeds one byte from the host to the parser; true when it is echoed.
    bool take(std::uint8_t byte);
    void answer(const Request &request, const InjectedFault &fault);
    std::vector<std::uint8_t> reply(const Request &request, std::uint8_t &status);
    void send(const std::vector<std::uint8_t> &bytes);

    int master_ = -1;
    int slave_ = -1;
    int wake_[2] = {-1, -1};
    std::string path_;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::deque<InjectedFault> faults_;
    std::deque<std::vector<std::uint8_t>> log_;
    bool refuseAcks_ = false;
    bool ignoreAcks_ = false;
    bool endlessLog_ = false;
    std::uint32_t endlessCount_ = 0;
    std::size_t stray_ = 0;
    bool answerNothing_ = false;
    std::vector<std::uint8_t> information_;
    std::array<std::uint16_t, 3> fileLengths_{};
    std::vector<Request> requests_;
    ClockRecord clock_{126, 1, 1, 0, 0, 0, 4};
    std::vector<std::uint8_t> files_[2];
    std::vector<std::vector<std::uint8_t>> records_;

    // Parser state; touched by the serving thread only.
    std::vector<std::uint8_t> frame_;
    InjectedFault current_;
    std::deque<Pending> pending_;
};

} // namespace readersim
