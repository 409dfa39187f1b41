// The library's state and the operations behind both export families.
// The exports run these on one session over the system's link; tests run
// them on a session of their own over a fake link.
#pragma once

#include "commands.h"
#include "frame_exchange.h"
#include "platform.h"
#include "serial_link.h"

#include <cstdint>

namespace qarn {

constexpr std::size_t kReaderAddressSize = 6;
constexpr std::size_t kMaxPayload = 255;
constexpr std::size_t kRetainedPrefix = 16;

struct ReaderSession {
    explicit ReaderSession(SerialLink &serialLink) : link(serialLink), exchange(serialLink) {}

    SerialLink &link;
    FrameExchange exchange;
    Port port = kNoPort;
    // 0 after a successful open, 1 after a failed one; closing keeps it.
    std::int32_t currentHandle = 0;
    std::uint8_t readerAddress[kReaderAddressSize] = {};
    std::uint8_t clockAtOpen[kClockRecordSize] = {};
    // The last log record QARNGetLogData handed out; survives reopening.
    std::uint8_t retainedLog[kMaxPayload] = {};
    // Tests put a recorder here: the system's notice may be a modal box.
    void (*showPortFailure)(std::uint16_t portNumber) = ShowPortFailure;
};

// Port, shared by both families.
std::int32_t StartApi(ReaderSession &s, std::uint16_t portNumber);
std::int32_t TerminateApi(ReaderSession &s);

// First family.
std::int32_t OpenReader(ReaderSession &s, std::int32_t *handle, std::int32_t address);
std::int32_t CloseReader(ReaderSession &s, std::int32_t handle);
std::int32_t SetTime(ReaderSession &s, std::int32_t handle, const std::uint8_t *clock);
std::int32_t GetTime(ReaderSession &s, std::int32_t handle, std::uint8_t *clock);
std::int32_t GetReaderInfo(ReaderSession &s, std::int32_t handle, std::uint8_t *info);
std::int32_t GetFileLen(ReaderSession &s, std::int32_t handle, std::uint32_t *length1,
                        std::uint32_t *length2, std::uint32_t *length3);
std::int32_t SendFile(ReaderSession &s, std::int32_t handle, std::int32_t fileType,
                      std::int32_t length, const std::uint8_t *data);
std::int32_t GetLogData(ReaderSession &s, std::int32_t handle, std::uint8_t *record,
                        std::uint8_t *recordLength);
std::int32_t GetLogAck(ReaderSession &s, std::int32_t handle, std::int32_t value);
std::int32_t SpecialCommand(ReaderSession &s, std::int32_t handle, const std::uint8_t *command,
                            std::int32_t commandLength, std::uint8_t *reply,
                            std::uint8_t *replyLength);

// Shared by both families. Sends CMD_OPEN_READER with reader address byte 0
// and records the handle the caller gets.
std::int32_t OpenAddressedReader(ReaderSession &s, std::int32_t *handle);
// Handle test and CMD_GET_LOG; RC_OK when the reply carries a record, whose
// length has then been written.
std::int32_t FetchLogReply(ReaderSession &s, std::int32_t handle, std::uint8_t *recordLength);
// CMD_LOG_ACK; 228 when the reader answers 'S'.
std::int32_t AcknowledgeLog(ReaderSession &s, std::uint8_t value);

// Second family; the rest of it shares the first family's operations.
std::int32_t TrqOpenReader(ReaderSession &s, std::int32_t *handle,
                           const std::uint8_t *identification);
std::int32_t TrqCloseReader(ReaderSession &s, std::int32_t handle);
std::int32_t TrqGetLogEntry(ReaderSession &s, std::int32_t handle, std::uint8_t *record,
                            std::uint8_t *recordLength);

} // namespace qarn
