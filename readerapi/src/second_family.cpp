// The second family's own operations: open by six-byte identification
// without setting the clock, and a log read that acknowledges itself.
#include "qarnapi.h"
#include "reader_session.h"

#include <cstring>

namespace qarn {

std::int32_t TrqOpenReader(ReaderSession &s, std::int32_t *handle,
                           const std::uint8_t *identification)
{
    std::memcpy(s.readerAddress, identification, kReaderAddressSize);
    // Byte 0 of the identification addresses the reader, as the first
    // family's address does.
    if (SendOpenReader(s.exchange, s.port, s.readerAddress[0]) != XR_OK ||
        s.exchange.replyStatus() != STATUS_OK) {
        *handle = 1;
        s.currentHandle = 1;
        return RC_FAILED;
    }
    *handle = 0;
    s.currentHandle = 0;
    return RC_OK;
}

std::int32_t TrqCloseReader(ReaderSession &s, std::int32_t handle)
{
    return CloseReader(s, handle);
}

std::int32_t TrqGetLogEntry(ReaderSession &s, std::int32_t handle, std::uint8_t *record,
                            std::uint8_t *recordLength)
{
    if (handle != s.currentHandle)
        return RC_BAD_HANDLE;
    if (SendGetLog(s.exchange, s.port) != XR_OK)
        return RC_FAILED;
    const std::uint8_t status = s.exchange.replyStatus();
    if (status == STATUS_Q)
        return RC_LOG_E4;
    if (status == STATUS_R)
        return RC_LOG_E5;

    const std::uint8_t length = s.exchange.replyLength();
    *recordLength = length;
    std::uint8_t *payload = s.exchange.replyPayload();
    payload[5] = BcdToBin(payload[5]);
    std::memcpy(record, payload, length);

    if (SendLogAck(s.exchange, s.port, 0) != XR_OK)
        return RC_FAILED;
    return s.exchange.replyStatus() == STATUS_S ? RC_LOG_E4 : RC_OK;
}

} // namespace qarn
