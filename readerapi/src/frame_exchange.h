// One framed request/reply exchange with the reader over an echoing line:
// checksums, per-byte timeouts, and up to six attempts.
#pragma once

#include "serial_link.h"

#include <cstddef>
#include <cstdint>

namespace qarn {

constexpr std::uint8_t REQUEST_START = 0x81;
constexpr std::uint8_t REPLY_START = 0xF8;

enum ExchangeResult : int {
    XR_OK = 0,
    XR_NO_RESPONSE = 1,
    XR_BAD_START = 2,
    XR_HEADER_TIMEOUT = 3,
    XR_PAYLOAD_TIMEOUT = 4,
    XR_CHECKSUM_TIMEOUT = 5,
    XR_BAD_CHECKSUM = 6,
};

constexpr std::uint32_t kEchoTimeoutMs = 50;
constexpr std::uint32_t kInterByteTimeoutMs = 150;
constexpr std::uint32_t kInitialFirstByteTimeoutMs = 100;
constexpr std::uint32_t kRetryPauseMs = 5;
constexpr int kAttempts = 6;
constexpr std::size_t kFrameBufferSize = 500;

struct FrameExchange {
    explicit FrameExchange(SerialLink &serialLink) : link(serialLink) {}

    SerialLink &link;
    // The request is framed here, its echo read over it, and the reply
    // over that again; the layers above read the reply from here.
    std::uint8_t frame[kFrameBufferSize] = {};
    std::size_t frameLength = 0;
    // Set by each command just before its exchange.
    std::uint32_t firstByteTimeoutMs = kInitialFirstByteTimeoutMs;

    std::uint8_t replyStatus() const { return frame[1]; }
    std::uint8_t replyLength() const { return frame[2]; }
    std::uint8_t *replyPayload() { return frame + 3; }
};

// Copies count request bytes to the frame buffer and appends their XOR.
void BuildFrame(FrameExchange &fx, const std::uint8_t *request, std::size_t count);
// One attempt; an ExchangeResult.
int Exchange(FrameExchange &fx, Port port, const std::uint8_t *request, std::size_t count);
// Up to six attempts, each failure followed by a short pause; 0 or the
// last attempt's result.
int Transact(FrameExchange &fx, Port port, const std::uint8_t *request, std::size_t count);

} // namespace qarn
