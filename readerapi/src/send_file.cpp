// File downloads: types 1 and 2 go in blocks of 63 four-byte words, type 3
// in numbered 40-byte records; every block must be acknowledged.
#include "qarnapi.h"
#include "reader_session.h"

namespace qarn {

namespace {

constexpr std::size_t kWordsPerBlock = 63;
constexpr std::size_t kBlockBytes = 4 * kWordsPerBlock;

struct BlockPlan {
    std::uint8_t firstCommand;
    std::uint8_t nextCommand;
    std::uint8_t ackStatus;
};

bool sendBlock(ReaderSession &s, std::uint8_t command, std::uint8_t ackStatus,
               std::uint8_t wordCount, const std::uint8_t *data, std::size_t count)
{
    return SendFileBlock(s.exchange, s.port, command, wordCount, data, count) == XR_OK &&
           s.exchange.replyStatus() == ackStatus;
}

// Up to 254 bytes fit one block. Longer files go as a first block of 252
// bytes and continuations of 252; the last one carries the remaining whole
// words plus the 1 to 3 bytes after them, with the word count of the whole
// words only, so every byte of the file reaches the reader.
std::int32_t sendBlocks(ReaderSession &s, const BlockPlan &plan, std::size_t length,
                        const std::uint8_t *data)
{
    if (length <= kMaxBlockData) {
        auto words = static_cast<std::uint8_t>(length / 4);
        return sendBlock(s, plan.firstCommand, plan.ackStatus, words, data, length) ? RC_OK
                                                                                    : RC_FAILED;
    }
    if (!sendBlock(s, plan.firstCommand, plan.ackStatus, kWordsPerBlock, data, kBlockBytes))
        return RC_FAILED;
    const std::size_t words = length / 4;
    const std::size_t blocks = words / kWordsPerBlock;
    for (std::size_t i = 1; i < blocks; ++i)
        if (!sendBlock(s, plan.nextCommand, plan.ackStatus, kWordsPerBlock,
                       data + kBlockBytes * i, kBlockBytes))
            return RC_FAILED;
    const std::size_t lastWords = words % kWordsPerBlock;
    const std::size_t lastBytes = 4 * lastWords + length % 4;
    if (!sendBlock(s, plan.nextCommand, plan.ackStatus, static_cast<std::uint8_t>(lastWords),
                   data + kBlockBytes * blocks, lastBytes))
        return RC_FAILED;
    return RC_OK;
}

std::int32_t sendRecords(ReaderSession &s, std::size_t length, const std::uint8_t *data)
{
    if (length % kRecordSize != 0)
        return RC_FAILED;
    for (std::size_t k = 0; k < length / kRecordSize; ++k) {
        if (SendFile3Record(s.exchange, s.port, static_cast<unsigned>(k), data + kRecordSize * k) !=
                XR_OK ||
            s.exchange.replyStatus() != STATUS_FILE3_ACK)
            return RC_FAILED;
    }
    return RC_OK;
}

} // namespace

std::int32_t SendFile(ReaderSession &s, std::int32_t handle, std::int32_t fileType,
                      std::int32_t length, const std::uint8_t *data)
{
    if (handle != s.currentHandle)
        return RC_BAD_HANDLE;
    const std::size_t bytes = static_cast<std::uint16_t>(length);
    switch (static_cast<std::uint8_t>(fileType)) {
    case 1:
        return sendBlocks(s, {CMD_FILE1_FIRST, CMD_FILE1_NEXT, STATUS_FILE1_ACK}, bytes, data);
    case 2:
        return sendBlocks(s, {CMD_FILE2_FIRST, CMD_FILE2_NEXT, STATUS_FILE2_ACK}, bytes, data);
    case 3:
        return sendRecords(s, bytes, data);
    default:
        return RC_OK;
    }
}

} // namespace qarn
