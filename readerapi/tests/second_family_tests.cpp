#include "api_fixture.h"

#include <cstring>

namespace {

using readersim::Fault;

const std::uint8_t kIdentification[6] = {0x42, 1, 2, 3, 4, 5};

TEST_F(ReaderApiTest, TrqOpenAddressesByFirstIdentificationByteAndLeavesClock)
{
    ASSERT_EQ(TRQOpenReader(&handle, kIdentification, 0x7777), RC_OK);
    EXPECT_EQ(handle, 0);
    ASSERT_EQ(commands(), Bytes{0xC0});
    EXPECT_EQ(sim.requests()[0].payload, Bytes{0x42});
    ASSERT_EQ(TRQCloseReader(handle), RC_OK);
    EXPECT_EQ(sim.requests().back().command, 0xC1);
    EXPECT_EQ(sim.requests().back().payload, Bytes{0x42});
}

TEST_F(ReaderApiTest, HandlesPassAcrossFamilies)
{
    sim.queueFault({Fault::UnexpectedStatus, 0, 0x00, {}});
    EXPECT_EQ(TRQOpenReader(&handle, kIdentification, 0), RC_FAILED);
    EXPECT_EQ(handle, 1);
    std::uint8_t clock[7];
    EXPECT_EQ(QARNGetTime(1, clock), RC_OK);
    EXPECT_EQ(TRQGetTime(0, clock), RC_BAD_HANDLE);

    ASSERT_EQ(QARNOpenReader(&handle, 9), RC_OK);
    EXPECT_EQ(TRQGetTime(0, clock), RC_OK);
    EXPECT_EQ(TRQCloseReader(1), RC_BAD_HANDLE);
    EXPECT_EQ(TRQCloseReader(0), RC_OK);
    EXPECT_EQ(sim.requests().back().payload, Bytes{9}) << "close sends the last open's address";
}

TEST_F(ReaderApiTest, TrqTwinsBehaveLikeTheFirstFamily)
{
    ASSERT_EQ(TRQOpenReader(&handle, kIdentification, 0), RC_OK);
    const std::uint8_t set[7] = {99, 12, 31, 23, 59, 58, 5};
    ASSERT_EQ(TRQSetTime(handle, set), RC_OK);
    std::uint8_t got[7];
    ASSERT_EQ(TRQGetTime(handle, got), RC_OK);
    EXPECT_EQ(Bytes(got, got + 7), (Bytes{99, 12, 31, 23, 59, 58, 5}));

    std::uint8_t first[255], second[255];
    ASSERT_EQ(TRQGetInfoV1(handle, first), RC_OK);
    ASSERT_EQ(QARNGetReaderInfo(handle, second), RC_OK);
    EXPECT_EQ(std::memcmp(first, second, 64), 0);
}

TEST_F(ReaderApiTest, LogEntryIsConvertedAndAcknowledgedInOneCall)
{
    ASSERT_EQ(TRQOpenReader(&handle, kIdentification, 0), RC_OK);
    Bytes entry(12, 0x31);
    entry[5] = 0x25;
    sim.queueLogRecord(entry);
    Bytes marked(12, 0x32);
    marked[5] = 0xFF;
    sim.queueLogRecord(marked);

    std::uint8_t record[255];
    std::uint8_t length = 0;
    sim.forgetRequests();
    ASSERT_EQ(TRQGetLogEntry(handle, record, &length), RC_OK);
    EXPECT_EQ(commands(), (Bytes{0xB0, 0xB1}));
    EXPECT_EQ(sim.requests().back().payload, Bytes{0});
    EXPECT_EQ(length, 12);
    EXPECT_EQ(record[5], 25);

    ASSERT_EQ(TRQGetLogEntry(handle, record, &length), RC_OK);
    EXPECT_EQ(record[5], 165) << "no retained record in this family: 0xFF is converted";
    EXPECT_EQ(record[0], 0x32);
    EXPECT_EQ(sim.logRecordsLeft(), 0u);

    sim.forgetRequests();
    EXPECT_EQ(TRQGetLogEntry(handle, record, &length), RC_LOG_E4);
    EXPECT_EQ(commands(), Bytes{0xB0}) << "nothing to acknowledge after 'Q'";

    sim.queueLogRecord(entry);
    sim.refuseAcknowledgements(true);
    std::memset(record, 0, sizeof record);
    EXPECT_EQ(TRQGetLogEntry(handle, record, &length), RC_LOG_E4);
    EXPECT_EQ(record[5], 25) << "the record is delivered even when its acknowledgement is refused";
}

TEST_F(ReaderApiTest, FirstFamilyRetainsOnlyItsOwnRecords)
{
    ASSERT_EQ(QARNOpenReader(&handle, 1), RC_OK);
    Bytes own(16, 0x11);
    own[5] = 0x01;
    sim.queueLogRecord(own);
    std::uint8_t record[255];
    std::uint8_t length = 0;
    ASSERT_EQ(QARNGetLogData(handle, record, &length), RC_OK);
    ASSERT_EQ(QARNGetLogAck(handle, 0), RC_OK);

    Bytes other(16, 0x22);
    other[5] = 0x02;
    sim.queueLogRecord(other);
    ASSERT_EQ(TRQGetLogEntry(handle, record, &length), RC_OK);

    Bytes marked(16, 0x33);
    marked[5] = 0xFF;
    sim.queueLogRecord(marked);
    ASSERT_EQ(QARNGetLogData(handle, record, &length), RC_OK);
    EXPECT_EQ(record[0], 0x11);
    EXPECT_EQ(record[5], 1);
}

} // namespace
