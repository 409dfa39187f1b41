#include "fake_link.h"
#include "frame_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace {

using qarn::FrameExchange;
using Bytes = std::vector<std::uint8_t>;

const Bytes kGetTime{0x81, 0xB2, 0x00};

struct FrameExchangeTest : ::testing::Test {
    FakeLink link;
    FrameExchange fx{link};
};

TEST_F(FrameExchangeTest, ReplyIsReadWithEchoFirstByteAndInterByteTimeouts)
{
    ASSERT_EQ(FakeLink::frame(0x40, {}), (Bytes{0xF8, 0x40, 0x00, 0xB8})) << "a correct frame XORs to 0";
    for (std::size_t n : {0, 7, 255}) {
        FakeLink l;
        FrameExchange f{l};
        f.firstByteTimeoutMs = 500;
        Bytes payload(n);
        std::iota(payload.begin(), payload.end(), 0);
        l.reader = [&](FakeLink &r, const Bytes &) { r.reply(0x40, payload, 20); };
        ASSERT_EQ(qarn::Transact(f, 3, kGetTime.data(), 3), qarn::XR_OK) << n;

        EXPECT_EQ(l.writes, (std::vector<Bytes>{{0x81, 0xB2, 0x00, 0x33}}));
        std::vector<std::uint32_t> expected(4, 50);
        expected.push_back(500);
        expected.insert(expected.end(), 2 + n + 1, 150);
        EXPECT_EQ(l.readTimeouts, expected) << n;
        EXPECT_EQ(f.replyStatus(), 0x40);
        EXPECT_EQ(f.replyLength(), n);
        EXPECT_EQ(Bytes(f.replyPayload(), f.replyPayload() + n), payload);
        EXPECT_EQ(f.frameLength, n + 4) << "the longest reply reaches index 258";
        EXPECT_TRUE(l.delays.empty()) << "no pause after a good attempt";
    }
}

TEST_F(FrameExchangeTest, LineWithoutEchoFailsSixTimesWithPauses)
{
    link.echoes = false;
    const std::uint32_t start = link.now;
    EXPECT_EQ(qarn::Transact(fx, 3, kGetTime.data(), 3), qarn::XR_NO_RESPONSE);
    EXPECT_EQ(link.writes.size(), 6u);
    EXPECT_EQ(link.readTimeouts, std::vector<std::uint32_t>(6, 50));
    EXPECT_EQ(link.delays, std::vector<std::uint32_t>(6, 5)) << "the sixth failure pauses too";
    EXPECT_EQ(link.now - start, 6u * (51 + 6));
}

TEST_F(FrameExchangeTest, LineThatTakesNoBytesFailsEachAttemptWithoutWaitingForEcho)
{
    link.drains = false;
    EXPECT_EQ(qarn::Transact(fx, 3, kGetTime.data(), 3), qarn::XR_NO_RESPONSE);
    EXPECT_EQ(link.writes.size(), 6u) << "the retry rules apply";
    EXPECT_TRUE(link.readTimeouts.empty()) << "no echo is awaited after a failed write";
    EXPECT_EQ(link.delays, std::vector<std::uint32_t>(6, 5));
}

TEST_F(FrameExchangeTest, SilentReaderCostsSixFirstByteTimeouts)
{
    fx.firstByteTimeoutMs = 500;
    const std::uint32_t start = link.now;
    EXPECT_EQ(qarn::Transact(fx, 3, kGetTime.data(), 3), qarn::XR_NO_RESPONSE);
    EXPECT_EQ(link.writes.size(), 6u);
    EXPECT_EQ(std::count(link.readTimeouts.begin(), link.readTimeouts.end(), 500u), 6);
    EXPECT_EQ(link.now - start, 6u * (501 + 6));
    // The status reads as 0 after a missing start byte.
    EXPECT_EQ(std::accumulate(fx.frame, fx.frame + 50, 0), 0);
}

TEST_F(FrameExchangeTest, ReplyStartingWithinTheFirstByteTimeoutIsTakenInTheSameAttempt)
{
    // The wait ends once the tick is past start + timeout: a start byte
    // at exactly 500 ms is in time, one at 501 ms is not.
    for (std::uint32_t late : {150u, 500u, 501u}) {
        FakeLink l;
        FrameExchange f{l};
        f.firstByteTimeoutMs = 500;
        l.reader = [&](FakeLink &r, const Bytes &) { r.reply(0x40, {1, 2, 3, 4, 5, 6, 7}, late); };
        EXPECT_EQ(qarn::Exchange(f, 3, kGetTime.data(), 3), late <= 500 ? qarn::XR_OK : qarn::XR_NO_RESPONSE)
            << late;
    }
}

TEST_F(FrameExchangeTest, BadChecksumIsFoundAfterWholeReplyAndRequestIsSentAgain)
{
    int replies = 0;
    link.reader = [&replies](FakeLink &l, const Bytes &) {
        Bytes bytes = FakeLink::frame(0x40, {1, 2, 3});
        if (replies++ == 0)
            bytes.back() ^= 0x01;
        l.arrive(bytes);
    };
    EXPECT_EQ(qarn::Exchange(fx, 3, kGetTime.data(), 3), qarn::XR_BAD_CHECKSUM);
    EXPECT_TRUE(link.incoming.empty()) << "the whole reply is read before the check";
    EXPECT_EQ(qarn::Transact(fx, 3, kGetTime.data(), 3), qarn::XR_OK);
    EXPECT_EQ(link.writes.size(), 2u);
}

TEST_F(FrameExchangeTest, WrongStartByteEndsAttemptAndLeavesTheRestQueued)
{
    link.reader = [](FakeLink &l, const Bytes &) { l.arrive({0xF0, 0x40, 0x00, 0xB0}); };
    EXPECT_EQ(qarn::Exchange(fx, 3, kGetTime.data(), 3), qarn::XR_BAD_START);
    EXPECT_EQ(fx.frame[0], 0xF0);
    EXPECT_EQ(fx.frame[1], 0);
    EXPECT_EQ(link.incoming.size(), 3u);
}

TEST_F(FrameExchangeTest, CutRepliesReportWhereTheyStopped)
{
    const Bytes whole = FakeLink::frame(0x40, {9, 8, 7, 6});
    struct Case {
        std::size_t kept;
        int result;
    } cases[] = {{1, qarn::XR_HEADER_TIMEOUT}, {2, qarn::XR_HEADER_TIMEOUT},
                 {3, qarn::XR_PAYLOAD_TIMEOUT}, {5, qarn::XR_PAYLOAD_TIMEOUT},
                 {7, qarn::XR_CHECKSUM_TIMEOUT}};
    for (const Case &c : cases) {
        link.incoming.clear();
        link.reader = [&](FakeLink &l, const Bytes &) { l.arrive(Bytes(whole.begin(), whole.begin() + c.kept)); };
        const std::uint32_t before = link.now;
        EXPECT_EQ(qarn::Exchange(fx, 3, kGetTime.data(), 3), c.result) << c.kept << " bytes kept";
        EXPECT_EQ(link.now - before, 151u) << "gives up 150 ms after the last byte";
    }
}

TEST_F(FrameExchangeTest, EchoPhaseTrustsTheEchoedLengthByte)
{
    // The length byte comes back corrupted as 2: two more payload bytes
    // are swallowed as echo before the reply is looked for.
    link.echoes = false;
    link.reader = [](FakeLink &l, const Bytes &) {
        l.arrive({0x81, 0xB2, 0x02, 0x33, 0xF8, 0x99});
        l.reply(0x40, {});
    };
    EXPECT_EQ(qarn::Exchange(fx, 3, kGetTime.data(), 3), qarn::XR_OK);
    EXPECT_EQ(link.readTimeouts.size(), 6u + 4u);
}

} // namespace
