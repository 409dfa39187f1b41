#include "commands.h"
#include "fake_link.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct CommandTest : ::testing::Test {
    FakeLink link;
    qarn::FrameExchange fx{link};

    void SetUp() override
    {
        link.reader = [](FakeLink &l, const Bytes &) { l.reply(0x40, {}); };
    }
    // The request on the line and the first-byte timeout it waited with.
    const Bytes &sent() const { return link.writes.back(); }
    std::uint32_t firstByteWait() const { return link.readTimeouts.at(sent().size()); }
};

TEST_F(CommandTest, RequestsWithoutPayloadAndTheirTimeouts)
{
    struct Case {
        int (*send)(qarn::FrameExchange &, qarn::Port);
        std::uint8_t code;
        std::uint32_t timeout;
    } cases[] = {
        {qarn::SendGetLog, 0xB0, 100},  {qarn::SendGetTime, 0xB2, 500}, {qarn::SendB3, 0xB3, 500},
        {qarn::SendGetInfo, 0xB4, 500}, {qarn::SendGetFileLen, 0xB5, 100},
        {qarn::SendA7, 0xA7, 500},      {qarn::SendA8, 0xA8, 500},      {qarn::SendA9, 0xA9, 500},
        {qarn::SendAA, 0xAA, 500},
    };
    for (const Case &c : cases) {
        link.readTimeouts.clear();
        ASSERT_EQ(c.send(fx, 3), qarn::XR_OK);
        EXPECT_EQ(sent(), (Bytes{0x81, c.code, 0x00, static_cast<std::uint8_t>(0x81 ^ c.code)}));
        EXPECT_EQ(firstByteWait(), c.timeout) << std::hex << int(c.code);
    }
}

TEST_F(CommandTest, RequestsWithOneByteUseItsLowBits)
{
    ASSERT_EQ(qarn::SendOpenReader(fx, 3, 0x101), qarn::XR_OK);
    EXPECT_EQ(sent(), (Bytes{0x81, 0xC0, 0x01, 0x01, 0x41}));
    EXPECT_EQ(firstByteWait(), 150u);
    link.readTimeouts.clear();
    ASSERT_EQ(qarn::SendCloseReader(fx, 3, 7), qarn::XR_OK);
    EXPECT_EQ(sent(), (Bytes{0x81, 0xC1, 0x01, 0x07, 0x81 ^ 0xC1 ^ 0x01 ^ 0x07}));
    EXPECT_EQ(firstByteWait(), 150u);
    link.readTimeouts.clear();
    ASSERT_EQ(qarn::SendLogAck(fx, 3, 0), qarn::XR_OK);
    EXPECT_EQ(sent(), (Bytes{0x81, 0xB1, 0x01, 0x00, 0x31}));
    EXPECT_EQ(firstByteWait(), 100u);
}

TEST_F(CommandTest, SetTimeCarriesTheSevenBytes)
{
    const std::uint8_t clock[7] = {126, 3, 7, 14, 5, 9, 6};
    ASSERT_EQ(qarn::SendSetTime(fx, 3, clock), qarn::XR_OK);
    EXPECT_EQ(Bytes(sent().begin(), sent().begin() + 10), (Bytes{0x81, 0xA0, 7, 126, 3, 7, 14, 5, 9, 6}));
    EXPECT_EQ(firstByteWait(), 500u);
}

TEST_F(CommandTest, UserDataSendsLengthLessOneBytes)
{
    const std::uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_EQ(qarn::SendUserData(fx, 3, data, 1), qarn::XR_OK);
    EXPECT_EQ(sent(), (Bytes{0x81, 0xA1, 0x00, 0x20}));
    ASSERT_EQ(qarn::SendUserData(fx, 3, data, 0x105), qarn::XR_OK);
    EXPECT_EQ(Bytes(sent().begin(), sent().end() - 1), (Bytes{0x81, 0xA1, 4, 1, 2, 3, 4}));
}

TEST_F(CommandTest, FileBlocksCarryWordCountAndEveryByte)
{
    Bytes data(254);
    std::iota(data.begin(), data.end(), 0);
    ASSERT_EQ(qarn::SendFile1First(fx, 3, 252, data.data()), qarn::XR_OK);
    ASSERT_EQ(sent().size(), 257u);
    EXPECT_EQ(sent()[1], 0xA2);
    EXPECT_EQ(sent()[2], 0xFD);
    EXPECT_EQ(sent()[3], 63);
    EXPECT_EQ(Bytes(sent().begin() + 4, sent().end() - 1), Bytes(data.begin(), data.begin() + 252));
    link.readTimeouts.clear();
    ASSERT_EQ(qarn::SendFile2Next(fx, 3, 10, data.data()), qarn::XR_OK);
    EXPECT_EQ(Bytes(sent().begin(), sent().begin() + 4), (Bytes{0x81, 0xA5, 11, 2}));
    EXPECT_EQ(sent().size(), 15u);
    EXPECT_EQ(firstByteWait(), 5000u);
    ASSERT_EQ(qarn::SendFile1Next(fx, 3, 254, data.data()), qarn::XR_OK);
    EXPECT_EQ(sent()[2], 0xFF) << "254 bytes is the most a block carries";
}

TEST_F(CommandTest, RecordNumberIsLowByteOfIndex)
{
    Bytes record(40, 0x5A);
    ASSERT_EQ(qarn::SendFile3Record(fx, 3, 256, record.data()), qarn::XR_OK);
    EXPECT_EQ(Bytes(sent().begin(), sent().begin() + 4), (Bytes{0x81, 0xA6, 41, 0}));
    ASSERT_EQ(qarn::SendFile3Record(fx, 3, 257, record.data()), qarn::XR_OK);
    EXPECT_EQ(sent()[3], 1);
    EXPECT_EQ(sent().size(), 45u);
}

TEST(Conversions, BcdAndByteOrder)
{
    EXPECT_EQ(qarn::BcdToBin(0x26), 26);
    EXPECT_EQ(qarn::BcdToBin(0x99), 99);
    EXPECT_EQ(qarn::BcdToBin(0xFF), 165) << "nibbles above 9 are not refused";
    EXPECT_EQ(qarn::BinToBcd(42), 0x42);
    const std::uint8_t bytes[4] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(qarn::ReadU16LE(bytes), 0x3412);
    EXPECT_EQ(qarn::ReadU16BE(bytes), 0x1234);
    EXPECT_EQ(qarn::ReadU32BE(bytes), 0x12345678u);
    std::uint8_t out[4] = {};
    qarn::WriteU32LE(0x12345678, out);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x78, 0x56, 0x34, 0x12}));
    qarn::WriteU16LE(0xABCD, out);
    EXPECT_EQ(Bytes(out, out + 2), (Bytes{0xCD, 0xAB}));
}

TEST(ClockRecord, BuiltFromLocalTimeAsPlainNumbers)
{
    std::tm saturday{};
    saturday.tm_year = 126;
    saturday.tm_mon = 2;
    saturday.tm_mday = 7;
    saturday.tm_hour = 14;
    saturday.tm_min = 5;
    saturday.tm_sec = 9;
    saturday.tm_wday = 6;
    std::uint8_t record[7];
    qarn::FillClockRecord(saturday, record);
    EXPECT_EQ(Bytes(record, record + 7), (Bytes{126, 3, 7, 14, 5, 9, 6}));
    saturday.tm_year = 300;
    qarn::FillClockRecord(saturday, record);
    EXPECT_EQ(record[0], 300 % 256) << "the year keeps its low 8 bits";
}

} // namespace
