#include "frame_exchange.h"

#include <cstring>

namespace qarn {

void BuildFrame(FrameExchange &fx, const std::uint8_t *request, std::size_t count)
{
    std::uint8_t checksum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        fx.frame[i] = request[i];
        checksum ^= request[i];
    }
    fx.frame[count] = checksum;
    fx.frameLength = count + 1;
}

namespace {

// The line echoes every byte sent; the echo is consumed, not compared, and
// its own length byte says how much payload to expect.
bool readEcho(FrameExchange &fx, Port port)
{
    for (std::size_t i = 0; i < 3; ++i)
        if (!fx.link.ReadByte(port, &fx.frame[i], kEchoTimeoutMs))
            return false;
    const std::size_t echoedLength = fx.frame[2];
    for (std::size_t i = 3; i < 4 + echoedLength; ++i)
        if (!fx.link.ReadByte(port, &fx.frame[i], kEchoTimeoutMs))
            return false;
    return true;
}

} // namespace

int Exchange(FrameExchange &fx, Port port, const std::uint8_t *request, std::size_t count)
{
    BuildFrame(fx, request, count);
    // A line that did not take the frame cannot echo it either.
    if (!fx.link.WriteBytes(port, fx.frame, fx.frameLength))
        return XR_NO_RESPONSE;
    if (!readEcho(fx, port))
        return XR_NO_RESPONSE;

    std::memset(fx.frame, 0, 50);
    if (!fx.link.ReadByte(port, &fx.frame[0], fx.firstByteTimeoutMs))
        return XR_NO_RESPONSE;
    if (fx.frame[0] != REPLY_START)
        return XR_BAD_START;

    std::uint8_t checksum = REPLY_START;
    for (std::size_t i = 1; i <= 2; ++i) {
        if (!fx.link.ReadByte(port, &fx.frame[i], kInterByteTimeoutMs))
            return XR_HEADER_TIMEOUT;
        checksum ^= fx.frame[i];
    }
    const std::size_t length = fx.frame[2];
    for (std::size_t i = 3; i < 3 + length; ++i) {
        if (!fx.link.ReadByte(port, &fx.frame[i], kInterByteTimeoutMs))
            return XR_PAYLOAD_TIMEOUT;
        checksum ^= fx.frame[i];
    }
    if (!fx.link.ReadByte(port, &fx.frame[3 + length], kInterByteTimeoutMs))
        return XR_CHECKSUM_TIMEOUT;
    fx.frameLength = length + 4;
    return fx.frame[3 + length] == checksum ? XR_OK : XR_BAD_CHECKSUM;
}

int Transact(FrameExchange &fx, Port port, const std::uint8_t *request, std::size_t count)
{
    int result = XR_NO_RESPONSE;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        result = Exchange(fx, port, request, count);
        if (result == XR_OK)
            return XR_OK;
        fx.link.delay(kRetryPauseMs);
    }
    return result;
}

} // namespace qarn
