// A serial link with a fake millisecond tick: bytes arrive at set ticks,
// every wait is recorded and passes in no real time.
#pragma once

#include "serial_link.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

struct FakeLink final : qarn::SerialLink {
    struct Arrival {
        std::uint32_t tick;
        std::uint8_t byte;
    };

    std::uint32_t now = 1000;
    bool echoes = true;
    // false: the line takes no bytes, so writes fail after their time.
    bool drains = true;
    qarn::Port openResult = 3;
    int closes = 0;
    std::deque<Arrival> incoming;
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<std::uint32_t> readTimeouts;
    std::vector<std::uint32_t> delays;
    // The reader behind the line: called after each write and its echo.
    std::function<void(FakeLink &, const std::vector<std::uint8_t> &)> reader;

    qarn::Port OpenPort(std::uint16_t, char) override { return openResult; }

    int ClosePort(qarn::Port) override
    {
        ++closes;
        return 1;
    }

    int ReadByte(qarn::Port, std::uint8_t *destination, std::uint32_t timeoutMs) override
    {
        readTimeouts.push_back(timeoutMs);
        if (!incoming.empty()) {
            const auto wait = static_cast<std::int32_t>(incoming.front().tick - now);
            if (wait <= 0 || static_cast<std::uint32_t>(wait) <= timeoutMs) {
                if (wait > 0)
                    now = incoming.front().tick;
                *destination = incoming.front().byte;
                incoming.pop_front();
                return 1;
            }
        }
        now += timeoutMs + 1;
        return 0;
    }

    int WriteBytes(qarn::Port, const std::uint8_t *bytes, std::size_t count) override
    {
        writes.emplace_back(bytes, bytes + count);
        if (!drains) {
            now += qarn::WriteTimeoutMs(count) + 1;
            return 0;
        }
        if (echoes)
            arrive(writes.back());
        if (reader)
            reader(*this, writes.back());
        return 1;
    }

    std::uint32_t delay(std::uint32_t ms) override
    {
        delays.push_back(ms);
        now += ms + 1;
        return now;
    }

    void arrive(const std::vector<std::uint8_t> &bytes, std::uint32_t after = 0)
    {
        for (std::uint8_t b : bytes)
            incoming.push_back({now + after, b});
    }

    // A well-formed reply frame, arriving after the given milliseconds.
    void reply(std::uint8_t status, const std::vector<std::uint8_t> &payload, std::uint32_t after = 0)
    {
        arrive(frame(status, payload), after);
    }

    static std::vector<std::uint8_t> frame(std::uint8_t status, const std::vector<std::uint8_t> &payload)
    {
        std::vector<std::uint8_t> bytes;
        bytes.reserve(payload.size() + 4);
        bytes.push_back(0xF8);
        bytes.push_back(status);
        bytes.push_back(static_cast<std::uint8_t>(payload.size()));
        std::uint8_t checksum = 0xF8 ^ status ^ static_cast<std::uint8_t>(payload.size());
        for (std::uint8_t b : payload) {
            bytes.push_back(b);
            checksum ^= b;
        }
        bytes.push_back(checksum);
        return bytes;
    }
};
