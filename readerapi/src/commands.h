// The reader's command set: one sending operation per command, each laying
// out its request, setting its first-byte timeout and running Transact.
// They return the Transact result; the reply stays in the frame buffer.
#pragma once

#include "frame_exchange.h"

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace qarn {

enum Command : std::uint8_t {
    CMD_OPEN_READER = 0xC0,
    CMD_CLOSE_READER = 0xC1,
    CMD_SET_TIME = 0xA0,
    CMD_USER_DATA = 0xA1,
    CMD_FILE1_FIRST = 0xA2,
    CMD_FILE1_NEXT = 0xA3,
    CMD_FILE2_FIRST = 0xA4,
    CMD_FILE2_NEXT = 0xA5,
    CMD_FILE3_RECORD = 0xA6,
    CMD_A7 = 0xA7,
    CMD_A8 = 0xA8,
    CMD_A9 = 0xA9,
    CMD_AA = 0xAA,
    CMD_GET_LOG = 0xB0,
    CMD_LOG_ACK = 0xB1,
    CMD_GET_TIME = 0xB2,
    CMD_B3 = 0xB3,
    CMD_GET_INFO = 0xB4,
    CMD_GET_FILE_LEN = 0xB5,
};

enum Status : std::uint8_t {
    STATUS_OK = 0x40,
    STATUS_FILE1_ACK = 0x10,
    STATUS_FILE2_ACK = 0x20,
    STATUS_FILE3_ACK = 0x30,
    STATUS_Q = 0x51,
    STATUS_R = 0x52,
    STATUS_S = 0x53,
};

constexpr std::size_t kClockRecordSize = 7;
constexpr std::size_t kRecordSize = 40;
constexpr std::size_t kMaxBlockData = 254;

// Year since 1900 (low 8 bits), month 1-12, day, hour, minute, second,
// day of week with 0 for Sunday; plain numbers, not BCD.
void FillClockRecord(const std::tm &local, std::uint8_t record[kClockRecordSize]);

std::uint8_t BcdToBin(std::uint8_t bcd);
std::uint8_t BinToBcd(std::uint8_t value);
std::uint16_t ReadU16LE(const std::uint8_t *bytes);
std::uint16_t ReadU16BE(const std::uint8_t *bytes);
std::uint32_t ReadU32BE(const std::uint8_t *bytes);
void WriteU16LE(std::uint16_t value, std::uint8_t *destination);
void WriteU32LE(std::uint32_t value, std::uint8_t *destination);

int SendOpenReader(FrameExchange &fx, Port port, unsigned address);
int SendCloseReader(FrameExchange &fx, Port port, unsigned address);
int SendSetTime(FrameExchange &fx, Port port, const std::uint8_t clock[kClockRecordSize]);
// bytes holds lengthPlusOne - 1 bytes; lengthPlusOne is taken as its low 8 bits.
int SendUserData(FrameExchange &fx, Port port, const std::uint8_t *bytes, unsigned lengthPlusOne);
// A file block of count data bytes (at most 254) with word count
// wordCount; normally count / 4, the last block may carry a short tail.
int SendFileBlock(FrameExchange &fx, Port port, std::uint8_t command, std::uint8_t wordCount,
                  const std::uint8_t *data, std::size_t count);
int SendFile1First(FrameExchange &fx, Port port, std::size_t count, const std::uint8_t *data);
int SendFile1Next(FrameExchange &fx, Port port, std::size_t count, const std::uint8_t *data);
int SendFile2First(FrameExchange &fx, Port port, std::size_t count, const std::uint8_t *data);
int SendFile2Next(FrameExchange &fx, Port port, std::size_t count, const std::uint8_t *data);
int SendFile3Record(FrameExchange &fx, Port port, unsigned index,
                    const std::uint8_t record[kRecordSize]);
int SendGetLog(FrameExchange &fx, Port port);
int SendLogAck(FrameExchange &fx, Port port, unsigned value);
int SendGetTime(FrameExchange &fx, Port port);
int SendGetInfo(FrameExchange &fx, Port port);
int SendGetFileLen(FrameExchange &fx, Port port);
int SendB3(FrameExchange &fx, Port port);
int SendA7(FrameExchange &fx, Port port);
int SendA8(FrameExchange &fx, Port port);
int SendA9(FrameExchange &fx, Port port);
int SendAA(FrameExchange &fx, Port port);

} // namespace qarn
