#include "platform.h"
#include "qarnapi.h"
#include "reader_session.h"

#include <cstring>

namespace qarn {

namespace {

// Where the reader information record carries big-endian 16-bit fields.
constexpr std::size_t kInfoWordOffsets[] = {11, 13, 19, 25, 31, 37, 42, 48};

bool replied(const ReaderSession &s, int result, std::uint8_t expected = STATUS_OK)
{
    return result == XR_OK && s.exchange.replyStatus() == expected;
}

} // namespace

std::int32_t StartApi(ReaderSession &s, std::uint16_t portNumber)
{
    TerminateApi(s);
    s.port = s.link.OpenPort(portNumber, 'n');
    if (s.port == kNoPort) {
        s.showPortFailure(portNumber);
        return RC_PORT_FAILED;
    }
    return RC_OK;
}

std::int32_t TerminateApi(ReaderSession &s)
{
    if (s.port != kNoPort) {
        s.link.ClosePort(s.port);
        s.port = kNoPort;
    }
    return RC_OK;
}

std::int32_t OpenAddressedReader(ReaderSession &s, std::int32_t *handle)
{
    const bool accepted = replied(s, SendOpenReader(s.exchange, s.port, s.readerAddress[0]));
    s.currentHandle = accepted ? 0 : 1;
    *handle = s.currentHandle;
    return accepted ? RC_OK : RC_FAILED;
}

std::int32_t OpenReader(ReaderSession &s, std::int32_t *handle, std::int32_t address)
{
    s.readerAddress[0] = static_cast<std::uint8_t>(address);
    if (OpenAddressedReader(s, handle) != RC_OK)
        return RC_FAILED;

    FillClockRecord(LocalTimeNow(), s.clockAtOpen);
    // The reader stays open even when its clock was not set.
    return SetTime(s, s.currentHandle, s.clockAtOpen) == RC_OK ? RC_OK : RC_FAILED;
}

std::int32_t CloseReader(ReaderSession &s, std::int32_t handle)
{
    if (handle != s.currentHandle)
        return RC_BAD_HANDLE;
    if (!replied(s, SendCloseReader(s.exchange, s.port, s.readerAddress[0])))
        return RC_FAILED;
    return RC_OK;
}

std::int32_t SetTime(ReaderSession &s, std::int32_t handle, const std::uint8_t *clock)
{
    if (handle != s.currentHandle)
        return RC_BAD_HANDLE;
    if (!replied(s, SendSetTime(s.exchange, s.port, clock)))
        return RC_FAILED;
    return RC_OK;
}

std::int32_t GetTime(ReaderSession &s, std::int32_t handle, std::uint8_t *clock)
{
    if (handle != s.currentHandle)
        return RC_BAD_HANDLE;
    if (!replied(s, SendGetTime(s.exchange, s.port)))
        return RC_FAILED;
    std::uint8_t *payload = s.exchange.replyPayload();
    payload[0] = BcdToBin(payload[0]);
    std::memcpy(clock, payload, kClockRecordSize);
    return RC_OK;
}

std::int32_t GetReaderInfo(ReaderSession &s, std::int32_t handle, std::uint8_t *info)
{
    if (handle != s.currentHandle)
        return RC_BAD_HANDLE;
    if (!replied(s, SendGetInfo(s.exchange, s.port)))
        return RC_FAILED;
    std::uint8_t *payload = s.exchange.replyPayload();
    // A field the record does not reach whole is left alone: turning it would
    // bring in the checksum or bytes of an earlier reply.
    const std::size_t length = s.exchange.replyLength();
    for (std::size_t offset : kInfoWordOffsets) {
        if (offset + 2 > length)
            continue;
        std::uint8_t high = payload[offset];
        payload[offset] = payload[offset + 1];
        payload[offset + 1] = high;
    }
    std::memcpy(info, payload, length);
    return RC_OK;
}

std::int32_t GetFileLen(ReaderSession &s, std::int32_t handle, std::uint32_t *length1,
                        std::uint32_t *length2, std::uint32_t *length3)
{
    if (handle != s.currentHandle)
        return RC_BAD_HANDLE;
    if (!replied(s, SendGetFileLen(s.exchange, s.port)))
        return RC_FAILED;
    const std::uint8_t *payload = s.exchange.replyPayload();
    *length1 = ReadU16LE(payload);
    *length2 = ReadU16LE(payload + 2);
    *length3 = ReadU16LE(payload + 4);
    return RC_OK;
}

std::int32_t FetchLogReply(ReaderSession &s, std::int32_t handle, std::uint8_t *recordLength)
{
    if (handle != s.currentHandle)
        return RC_BAD_HANDLE;
    if (SendGetLog(s.exchange, s.port) != XR_OK)
        return RC_FAILED;
    // 'Q' and 'R' carry no record; any other status does, 0x40 or not.
    const std::uint8_t status = s.exchange.replyStatus();
    if (status == STATUS_Q)
        return RC_LOG_E4;
    if (status == STATUS_R)
        return RC_LOG_E5;
    *recordLength = s.exchange.replyLength();
    return RC_OK;
}

std::int32_t AcknowledgeLog(ReaderSession &s, std::uint8_t value)
{
    if (SendLogAck(s.exchange, s.port, value) != XR_OK)
        return RC_FAILED;
    return s.exchange.replyStatus() == STATUS_S ? RC_LOG_E4 : RC_OK;
}

std::int32_t GetLogData(ReaderSession &s, std::int32_t handle, std::uint8_t *record,
                        std::uint8_t *recordLength)
{
    const std::int32_t fetched = FetchLogReply(s, handle, recordLength);
    if (fetched != RC_OK)
        return fetched;
    std::uint8_t *payload = s.exchange.replyPayload();
    const std::size_t length = s.exchange.replyLength();
    // A record whose byte 5 is 0xFF stands for the one handed out before. A
    // shorter record has no byte 5: what lies there is its checksum or nothing.
    if (length > 5 && payload[5] == 0xFF) {
        std::memcpy(record, s.retainedLog, kRetainedPrefix);
        return RC_OK;
    }
    if (length > 5)
        payload[5] = BcdToBin(payload[5]);
    std::memcpy(record, payload, length);
    std::memcpy(s.retainedLog, record, length);
    return RC_OK;
}

std::int32_t GetLogAck(ReaderSession &s, std::int32_t handle, std::int32_t value)
{
    if (handle != s.currentHandle)
        return RC_BAD_HANDLE;
    return AcknowledgeLog(s, static_cast<std::uint8_t>(value));
}

std::int32_t SpecialCommand(ReaderSession &s, std::int32_t handle, const std::uint8_t *command,
                            std::int32_t commandLength, std::uint8_t *reply,
                            std::uint8_t *replyLength)
{
    if (handle != s.currentHandle)
        return RC_BAD_HANDLE;
    FrameExchange &fx = s.exchange;
    const unsigned length = static_cast<std::uint8_t>(commandLength);
    // A command with no byte sends nothing: its reply would be an earlier
    // operation's, and for 0x86 the user data's length byte (the command
    // length less one) would not fit.
    if (length == 0)
        return RC_FAILED;
    int result = XR_OK;
    switch (command[0]) {
    case 0x84:
        // Only 0x84 0x00 has a reader command; the second byte must be
        // within the command.
        if (length < 2 || command[1] != 0)
            return RC_FAILED;
        result = SendB3(fx, s.port);
        break;
    case 0x86:
        result = SendUserData(fx, s.port, command + 1, length);
        break;
    case 0x89: result = SendA7(fx, s.port); break;
    case 0x8A: result = SendA8(fx, s.port); break;
    case 0x8B: result = SendA9(fx, s.port); break;
    case 0x8C: result = SendAA(fx, s.port); break;
    default:
        return RC_FAILED;
    }
    if (!replied(s, result))
        return RC_FAILED;
    *replyLength = fx.replyLength();
    std::memcpy(reply, fx.replyPayload(), fx.replyLength());
    return RC_OK;
}

} // namespace qarn
