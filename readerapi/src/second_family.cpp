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
    return OpenAddressedReader(s, handle);
}

std::int32_t TrqCloseReader(ReaderSession &s, std::int32_t handle)
{
    return CloseReader(s, handle);
}

std::int32_t TrqGetLogEntry(ReaderSession &s, std::int32_t handle, std::uint8_t *record,
                            std::uint8_t *recordLength)
{
    const std::int32_t fetched = FetchLogReply(s, handle, recordLength);
    if (fetched != RC_OK)
        return fetched;
    // No retained record in this family: 0xFF is converted like any byte.
    std::uint8_t *payload = s.exchange.replyPayload();
    payload[5] = BcdToBin(payload[5]);
    std::memcpy(record, payload, s.exchange.replyLength());
    return AcknowledgeLog(s, 0);
}

} // namespace qarn
