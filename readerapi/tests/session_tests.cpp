// Library state over the fake link: what no simulated reader can show
// without the state that earlier tests in the process left behind.
#include "fake_link.h"
#include "qarnapi.h"
#include "reader_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct SessionTest : ::testing::Test {
    FakeLink link;
    qarn::ReaderSession session{link};
    Bytes payload;
    bool refuseClock = false;

    void SetUp() override
    {
        link.reader = [this](FakeLink &l, const Bytes &request) {
            // The clock of an open is refused when asked to.
            l.reply(request[1] == 0xA0 && refuseClock ? 0x41 : 0x40, payload);
        };
        ASSERT_EQ(qarn::StartApi(session, 1), RC_OK);
    }
};

TEST_F(SessionTest, WrongHandleSendsNothing)
{
    std::uint8_t buffer[255] = {};
    std::uint8_t length = 0;
    std::uint32_t a = 0, b = 0, c = 0;
    const std::uint8_t command[2] = {0x84, 0};
    EXPECT_EQ(qarn::CloseReader(session, 1), RC_BAD_HANDLE);
    EXPECT_EQ(qarn::SetTime(session, 1, buffer), RC_BAD_HANDLE);
    EXPECT_EQ(qarn::GetTime(session, 1, buffer), RC_BAD_HANDLE);
    EXPECT_EQ(qarn::GetReaderInfo(session, -1, buffer), RC_BAD_HANDLE);
    EXPECT_EQ(qarn::GetFileLen(session, 2, &a, &b, &c), RC_BAD_HANDLE);
    EXPECT_EQ(qarn::SendFile(session, 1, 1, 10, buffer), RC_BAD_HANDLE);
    EXPECT_EQ(qarn::GetLogData(session, 1, buffer, &length), RC_BAD_HANDLE);
    EXPECT_EQ(qarn::GetLogAck(session, 1, 0), RC_BAD_HANDLE);
    EXPECT_EQ(qarn::SpecialCommand(session, 1, command, 2, buffer, &length), RC_BAD_HANDLE);
    EXPECT_EQ(qarn::TrqCloseReader(session, 1), RC_BAD_HANDLE);
    EXPECT_EQ(qarn::TrqGetLogEntry(session, 1, buffer, &length), RC_BAD_HANDLE);
    EXPECT_TRUE(link.writes.empty());
}

TEST_F(SessionTest, FailedPortOpenIsReportedAndLeavesNoPortToClose)
{
    static int notices;
    notices = 0;
    session.showPortFailure = [](std::uint16_t) { ++notices; };
    link.openResult = qarn::kNoPort;
    EXPECT_EQ(qarn::StartApi(session, 4), RC_PORT_FAILED);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(link.closes, 1) << "the port open before is closed first";
    EXPECT_EQ(qarn::TerminateApi(session), RC_OK);
    EXPECT_EQ(link.closes, 1) << "nothing left to close";
}

TEST_F(SessionTest, RefusedClockLeavesTheReaderOpen)
{
    refuseClock = true;
    std::int32_t handle = -1;
    EXPECT_EQ(qarn::OpenReader(session, &handle, 1), RC_FAILED);
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(session.currentHandle, 0);
}

TEST_F(SessionTest, RepeatedRecordBeforeAnyIsRetainedGivesSixteenZeros)
{
    payload = Bytes(20, 0x33);
    payload[5] = 0xFF;
    std::uint8_t record[255];
    std::memset(record, 0xEE, sizeof record);
    std::uint8_t length = 0;
    ASSERT_EQ(qarn::GetLogData(session, 0, record, &length), RC_OK);
    EXPECT_EQ(length, 20);
    EXPECT_TRUE(std::all_of(record, record + 16, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(record[16], 0xEE) << "only 16 bytes are handed out";
}

TEST_F(SessionTest, ShortRecordWhoseChecksumIs0xFFIsItsOwnRecord)
{
    // Five bytes whose frame checksum comes out as 0xFF, where a sixth byte would be.
    payload = {0x01, 0x02, 0x03, 0x04, 0x00};
    std::uint8_t checksum = 0xF8 ^ 0x40 ^ 0x05;
    for (std::uint8_t b : payload)
        checksum ^= b;
    payload[4] = static_cast<std::uint8_t>(checksum ^ 0xFF);
    ASSERT_EQ(FakeLink::frame(0x40, payload).back(), 0xFF);

    std::uint8_t record[255];
    std::memset(record, 0xEE, sizeof record);
    std::uint8_t length = 0;
    ASSERT_EQ(qarn::GetLogData(session, 0, record, &length), RC_OK);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(Bytes(record, record + 5), payload) << "the record itself, not the retained one";
    EXPECT_EQ(record[5], 0xEE);
}

} // namespace
