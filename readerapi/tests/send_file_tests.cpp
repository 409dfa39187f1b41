#include "api_fixture.h"

#include <numeric>

namespace {

using readersim::Fault;

struct Block {
    std::uint8_t command;
    std::uint8_t wordCount;
    std::size_t bytes;
    bool operator==(const Block &) const = default;
};

Bytes fileOf(std::size_t length)
{
    Bytes data(length);
    for (std::size_t i = 0; i < length; ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return data;
}

struct SendFileTest : ReaderApiTest {
    std::vector<Block> blocks() const
    {
        std::vector<Block> seen;
        for (const readersim::Request &r : sim.requests())
            seen.push_back({r.command, r.payload.empty() ? std::uint8_t{0xEE} : r.payload[0],
                            r.payload.empty() ? 0 : r.payload.size() - 1});
        return seen;
    }
};

TEST_F(SendFileTest, EveryByteReachesTheReaderInWordCountedBlocks)
{
    openReader();
    struct Case {
        std::size_t length;
        std::vector<Block> blocks;
    } cases[] = {
        {0, {{0xA2, 0, 0}}},
        {10, {{0xA2, 2, 10}}},
        {254, {{0xA2, 63, 254}}},
        {255, {{0xA2, 63, 252}, {0xA3, 0, 3}}},
        {256, {{0xA2, 63, 252}, {0xA3, 1, 4}}},
        {258, {{0xA2, 63, 252}, {0xA3, 1, 6}}},
        {300, {{0xA2, 63, 252}, {0xA3, 12, 48}}},
        {504, {{0xA2, 63, 252}, {0xA3, 63, 252}, {0xA3, 0, 0}}},
        {507, {{0xA2, 63, 252}, {0xA3, 63, 252}, {0xA3, 0, 3}}},
        {1000, {{0xA2, 63, 252}, {0xA3, 63, 252}, {0xA3, 63, 252}, {0xA3, 61, 244}}},
        {1003, {{0xA2, 63, 252}, {0xA3, 63, 252}, {0xA3, 63, 252}, {0xA3, 61, 247}}},
    };
    for (const Case &c : cases) {
        sim.forgetRequests();
        const Bytes data = fileOf(c.length);
        ASSERT_EQ(QARNSendFile(handle, 1, static_cast<std::int32_t>(c.length), 0, 0, data.data()), RC_OK)
            << c.length;
        EXPECT_EQ(blocks(), c.blocks) << c.length << " bytes";
        EXPECT_EQ(sim.file(1), data) << c.length << " bytes";
    }
}

TEST_F(SendFileTest, TypeTwoUsesItsOwnCommandsAndLengthIsLow16Bits)
{
    openReader();
    const Bytes data = fileOf(300);
    ASSERT_EQ(TRQSendFile(handle, 0x102, 0x10000 + 300, 0, 0, data.data()), RC_OK);
    EXPECT_EQ(blocks(), (std::vector<Block>{{0xA4, 63, 252}, {0xA5, 12, 48}}));
    EXPECT_EQ(sim.file(2), data);
    EXPECT_TRUE(sim.file(1).empty());
}

TEST_F(SendFileTest, UnacknowledgedBlockEndsTheDownload)
{
    openReader();
    const Bytes data = fileOf(1000);
    sim.queueFault({});
    sim.queueFault({Fault::UnexpectedStatus, 0, 0x20, {}});
    EXPECT_EQ(QARNSendFile(handle, 1, 1000, 0, 0, data.data()), RC_FAILED);
    EXPECT_EQ(commands(), (Bytes{0xA2, 0xA3})) << "nothing after the refused block";
}

TEST_F(SendFileTest, RecordsAreNumberedByTheirIndexModulo256)
{
    openReader();
    const Bytes data = fileOf(40 * 257);
    ASSERT_EQ(QARNSendFile(handle, 3, 40 * 257, 0, 0, data.data()), RC_OK);
    const auto records = sim.records();
    ASSERT_EQ(records.size(), 257u);
    for (std::size_t k = 0; k < records.size(); ++k) {
        ASSERT_EQ(records[k].size(), 41u);
        EXPECT_EQ(records[k][0], k % 256);
        EXPECT_EQ(Bytes(records[k].begin() + 1, records[k].end()),
                  Bytes(data.begin() + 40 * k, data.begin() + 40 * (k + 1)));
    }
}

TEST_F(SendFileTest, RefusedAndUnknownTypesSendNothing)
{
    openReader();
    const Bytes data = fileOf(100);
    EXPECT_EQ(QARNSendFile(handle, 3, 41, 0, 0, data.data()), RC_FAILED);
    EXPECT_EQ(QARNSendFile(handle, 3, 0, 0, 0, data.data()), RC_OK);
    for (std::int32_t type : {0, 4, 0x104})
        EXPECT_EQ(QARNSendFile(handle, type, 100, 0, 0, data.data()), RC_OK) << type;
    EXPECT_TRUE(sim.requests().empty());

    sim.queueFault({Fault::UnexpectedStatus, 0, 0x40, {}});
    EXPECT_EQ(QARNSendFile(handle, 3, 80, 0, 0, data.data()), RC_FAILED);
    EXPECT_EQ(commands(), Bytes{0xA6}) << "a record needs status 0x30";
}

} // namespace
