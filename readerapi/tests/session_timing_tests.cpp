// The exported operations on a session over the fake link: what is sent,
// how long it waits, and the library state, without real waiting.
#include "fake_link.h"
#include "qarnapi.h"
#include "reader_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct SessionTest : ::testing::Test {
    FakeLink link;
    qarn::ReaderSession session{link};
    // Status and payload the fake reader answers with, per command code.
    std::uint8_t status = 0x40;
    Bytes payload;
    bool answers = true;

    void SetUp() override
    {
        link.reader = [this](FakeLink &l, const Bytes &) {
            if (answers)
                l.reply(status, payload);
        };
        ASSERT_EQ(qarn::StartApi(session, 1), RC_OK);
    }
    std::vector<std::uint8_t> commandsSent() const
    {
        std::vector<std::uint8_t> codes;
        for (const Bytes &w : link.writes)
            codes.push_back(w[1]);
        return codes;
    }
};

TEST_F(SessionTest, SilentReaderCostsSixClockTimeoutsAndWritesNothing)
{
    answers = false;
    std::uint8_t clock[7] = {1, 2, 3, 4, 5, 6, 7};
    const std::uint32_t start = link.now;
    EXPECT_EQ(qarn::GetTime(session, 0, clock), RC_FAILED);
    EXPECT_EQ(link.writes.size(), 6u);
    EXPECT_EQ(link.now - start, 6u * (501 + 6));
    EXPECT_EQ(Bytes(clock, clock + 7), (Bytes{1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(SessionTest, DownloadWaitsFiveSecondsForEachReplyAndStopsAtFirstFailure)
{
    answers = false;
    Bytes file(600, 0x11);
    const std::uint32_t start = link.now;
    EXPECT_EQ(qarn::SendFile(session, 0, 1, 600, file.data()), RC_FAILED);
    EXPECT_EQ(commandsSent(), Bytes(6, 0xA2)) << "no continuation after a failed first block";
    EXPECT_EQ(link.now - start, 6u * (5001 + 6));
}

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

TEST_F(SessionTest, FailedPortOpenIsReportedOnStandardError)
{
    link.openResult = qarn::kNoPort;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(qarn::StartApi(session, 4), RC_PORT_FAILED);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "VELMO: StartAPI FASLE!\n");
    EXPECT_EQ(link.closes, 1) << "the port open before is closed first";
    EXPECT_EQ(session.port, qarn::kNoPort);
    EXPECT_EQ(qarn::TerminateApi(session), RC_OK);
    EXPECT_EQ(link.closes, 1) << "nothing left to close";
}

TEST_F(SessionTest, OpenSetsTheReaderClockFromLocalTime)
{
    std::int32_t handle = -1;
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(qarn::OpenReader(session, &handle, 0x205), RC_OK);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(handle, 0);
    ASSERT_EQ(commandsSent(), (Bytes{0xC0, 0xA0}));
    EXPECT_EQ(link.writes[0][3], 0x05);
    const Bytes setTime(link.writes[1].begin() + 3, link.writes[1].begin() + 10);
    std::uint8_t expected[2][7];
    for (int i = 0; i < 2; ++i) {
        std::tm local{};
        const std::time_t t = i == 0 ? before : after;
        localtime_r(&t, &local);
        qarn::FillClockRecord(local, expected[i]);
    }
    EXPECT_TRUE(setTime == Bytes(expected[0], expected[0] + 7) ||
                setTime == Bytes(expected[1], expected[1] + 7));
}

TEST_F(SessionTest, RefusedClockLeavesTheReaderOpen)
{
    link.reader = [](FakeLink &l, const Bytes &request) { l.reply(request[1] == 0xA0 ? 0x41 : 0x40, {}); };
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

} // namespace
