#include "commands.h"

#include <cstring>

namespace qarn {

namespace {

constexpr std::uint32_t kQueryTimeoutMs = 100;
constexpr std::uint32_t kOpenCloseTimeoutMs = 150;
constexpr std::uint32_t kClockTimeoutMs = 500;
constexpr std::uint32_t kDownloadTimeoutMs = 5000;
constexpr std::size_t kLargestRequest = 3 + 255;

int send(FrameExchange &fx, Port port, std::uint8_t command, std::uint32_t firstByteTimeoutMs,
         const std::uint8_t *payload = nullptr, std::size_t length = 0)
{
    std::uint8_t request[kLargestRequest];
    request[0] = REQUEST_START;
    request[1] = command;
    request[2] = static_cast<std::uint8_t>(length);
    if (length > 0)
        std::memcpy(request + 3, payload, length);
    fx.firstByteTimeoutMs = firstByteTimeoutMs;
    return Transact(fx, port, request, length + 3);
}

} // namespace

void FillClockRecord(const std::tm &local, std::uint8_t record[kClockRecordSize])
{
    record[0] = static_cast<std::uint8_t>(local.tm_year);
    record[1] = static_cast<std::uint8_t>(local.tm_mon + 1);
    record[2] = static_cast<std::uint8_t>(local.tm_mday);
    record[3] = static_cast<std::uint8_t>(local.tm_hour);
    record[4] = static_cast<std::uint8_t>(local.tm_min);
    record[5] = static_cast<std::uint8_t>(local.tm_sec);
    record[6] = static_cast<std::uint8_t>(local.tm_wday);
}

std::uint8_t BcdToBin(std::uint8_t bcd)
{
    return static_cast<std::uint8_t>((bcd >> 4) * 10 + (bcd & 0x0F));
}

std::uint8_t BinToBcd(std::uint8_t value)
{
    return static_cast<std::uint8_t>((value / 10) * 16 + value % 10);
}

std::uint16_t ReadU16LE(const std::uint8_t *bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint16_t ReadU16BE(const std::uint8_t *bytes)
{
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

std::uint32_t ReadU32BE(const std::uint8_t *bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

void WriteU16LE(std::uint16_t value, std::uint8_t *destination)
{
    destination[0] = static_cast<std::uint8_t>(value);
    destination[1] = static_cast<std::uint8_t>(value >> 8);
}

void WriteU32LE(std::uint32_t value, std::uint8_t *destination)
{
    for (int i = 0; i < 4; ++i)
        destination[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

int SendOpenReader(FrameExchange &fx, Port port, unsigned address)
{
    const std::uint8_t payload = static_cast<std::uint8_t>(address);
    return send(fx, port, CMD_OPEN_READER, kOpenCloseTimeoutMs, &payload, 1);
}

int SendCloseReader(FrameExchange &fx, Port port, unsigned address)
{
    const std::uint8_t payload = static_cast<std::uint8_t>(address);
    return send(fx, port, CMD_CLOSE_READER, kOpenCloseTimeoutMs, &payload, 1);
}

int SendSetTime(FrameExchange &fx, Port port, const std::uint8_t clock[kClockRecordSize])
{
    return send(fx, port, CMD_SET_TIME, kClockTimeoutMs, clock, kClockRecordSize);
}

int SendUserData(FrameExchange &fx, Port port, const std::uint8_t *bytes, unsigned lengthPlusOne)
{
    const std::size_t length = static_cast<std::uint8_t>(lengthPlusOne - 1);
    return send(fx, port, CMD_USER_DATA, kClockTimeoutMs, bytes, length);
}

int SendFileBlock(FrameExchange &fx, Port port, std::uint8_t command, std::uint8_t wordCount,
                  const std::uint8_t *data, std::size_t count)
{
    std::uint8_t payload[1 + kMaxBlockData];
    payload[0] = wordCount;
    if (count > 0)
        std::memcpy(payload + 1, data, count);
    return send(fx, port, command, kDownloadTimeoutMs, payload, count + 1);
}

int SendFile1First(FrameExchange &fx, Port port, std::size_t count, const std::uint8_t *data)
{
    return SendFileBlock(fx, port, CMD_FILE1_FIRST, static_cast<std::uint8_t>(count / 4), data, count);
}

int SendFile1Next(FrameExchange &fx, Port port, std::size_t count, const std::uint8_t *data)
{
    return SendFileBlock(fx, port, CMD_FILE1_NEXT, static_cast<std::uint8_t>(count / 4), data, count);
}

int SendFile2First(FrameExchange &fx, Port port, std::size_t count, const std::uint8_t *data)
{
    return SendFileBlock(fx, port, CMD_FILE2_FIRST, static_cast<std::uint8_t>(count / 4), data, count);
}

int SendFile2Next(FrameExchange &fx, Port port, std::size_t count, const std::uint8_t *data)
{
    return SendFileBlock(fx, port, CMD_FILE2_NEXT, static_cast<std::uint8_t>(count / 4), data, count);
}

int SendFile3Record(FrameExchange &fx, Port port, unsigned index,
                    const std::uint8_t record[kRecordSize])
{
    std::uint8_t payload[1 + kRecordSize];
    payload[0] = static_cast<std::uint8_t>(index);
    std::memcpy(payload + 1, record, kRecordSize);
    return send(fx, port, CMD_FILE3_RECORD, kDownloadTimeoutMs, payload, sizeof payload);
}

int SendGetLog(FrameExchange &fx, Port port) { return send(fx, port, CMD_GET_LOG, kQueryTimeoutMs); }

int SendLogAck(FrameExchange &fx, Port port, unsigned value)
{
    const std::uint8_t payload = static_cast<std::uint8_t>(value);
    return send(fx, port, CMD_LOG_ACK, kQueryTimeoutMs, &payload, 1);
}

int SendGetTime(FrameExchange &fx, Port port) { return send(fx, port, CMD_GET_TIME, kClockTimeoutMs); }
int SendGetInfo(FrameExchange &fx, Port port) { return send(fx, port, CMD_GET_INFO, kClockTimeoutMs); }
int SendGetFileLen(FrameExchange &fx, Port port) { return send(fx, port, CMD_GET_FILE_LEN, kQueryTimeoutMs); }
int SendB3(FrameExchange &fx, Port port) { return send(fx, port, CMD_B3, kClockTimeoutMs); }
int SendA7(FrameExchange &fx, Port port) { return send(fx, port, CMD_A7, kClockTimeoutMs); }
int SendA8(FrameExchange &fx, Port port) { return send(fx, port, CMD_A8, kClockTimeoutMs); }
int SendA9(FrameExchange &fx, Port port) { return send(fx, port, CMD_A9, kClockTimeoutMs); }
int SendAA(FrameExchange &fx, Port port) { return send(fx, port, CMD_AA, kClockTimeoutMs); }

} // namespace qarn
