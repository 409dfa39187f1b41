#include "api_fixture.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using readersim::Fault;

TEST_F(ReaderApiTest, OpenAddressesTheReaderAndSetsItsClock)
{
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(QARNOpenReader(&handle, 0x1234), RC_OK);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(handle, 0);
    ASSERT_EQ(commands(), (Bytes{0xC0, 0xA0}));
    EXPECT_EQ(sim.requests()[0].payload, Bytes{0x34});
    // The local time as plain numbers, at one of the seconds the open took.
    auto localClock = [](std::time_t t) {
        std::tm l{};
        localtime_r(&t, &l);
        return readersim::ClockRecord{static_cast<std::uint8_t>(l.tm_year), static_cast<std::uint8_t>(l.tm_mon + 1),
                                      static_cast<std::uint8_t>(l.tm_mday),  static_cast<std::uint8_t>(l.tm_hour),
                                      static_cast<std::uint8_t>(l.tm_min),   static_cast<std::uint8_t>(l.tm_sec),
                                      static_cast<std::uint8_t>(l.tm_wday)};
    };
    bool atASecondOfTheOpen = false;
    for (std::time_t t = before; t <= after; ++t)
        atASecondOfTheOpen = atASecondOfTheOpen || sim.clock() == localClock(t);
    EXPECT_TRUE(atASecondOfTheOpen);

    ASSERT_EQ(QARNCloseReader(handle), RC_OK);
    EXPECT_EQ(sim.requests().back().command, 0xC1);
    EXPECT_EQ(sim.requests().back().payload, Bytes{0x34}) << "close names the reader opened";
    std::uint8_t time[7];
    EXPECT_EQ(QARNGetTime(handle, time), RC_OK) << "the handle stays valid after close";
}

TEST_F(ReaderApiTest, RefusedOpenHandsOutHandleOne)
{
    sim.queueFault({Fault::UnexpectedStatus, 0, 0x41, {}});
    EXPECT_EQ(QARNOpenReader(&handle, 1), RC_FAILED);
    EXPECT_EQ(handle, 1);
    EXPECT_EQ(commands(), Bytes{0xC0}) << "no clock is set after a refused open";
    std::uint8_t time[7];
    sim.forgetRequests();
    EXPECT_EQ(QARNGetTime(0, time), RC_BAD_HANDLE);
    EXPECT_TRUE(sim.requests().empty());
    EXPECT_EQ(QARNGetTime(1, time), RC_OK);
}

TEST_F(ReaderApiTest, ClockGoesOutAsGivenAndComesBackWithYearFromBcd)
{
    openReader();
    const std::uint8_t set[7] = {126, 3, 7, 14, 5, 9, 6};
    ASSERT_EQ(QARNSetTime(handle, set), RC_OK);
    EXPECT_EQ(sim.clock(), (readersim::ClockRecord{126, 3, 7, 14, 5, 9, 6}));
    std::uint8_t got[8] = {};
    got[7] = 0xEE;
    ASSERT_EQ(QARNGetTime(handle, got), RC_OK);
    EXPECT_EQ(Bytes(got, got + 8), (Bytes{26, 3, 7, 14, 5, 9, 6, 0xEE}));

    sim.queueFault(reply(0x40, {0xFF, 0x05, 1, 2, 3, 4, 5, 6, 7}));
    ASSERT_EQ(QARNGetTime(handle, got), RC_OK);
    EXPECT_EQ(Bytes(got, got + 8), (Bytes{165, 0x05, 1, 2, 3, 4, 5, 0xEE}));

    sim.queueFault({Fault::UnexpectedStatus, 0, 0x10, {}});
    std::memset(got, 0xAA, sizeof got);
    EXPECT_EQ(QARNGetTime(handle, got), RC_FAILED);
    EXPECT_TRUE(std::all_of(got, got + 8, [](std::uint8_t b) { return b == 0xAA; }));
}

TEST_F(ReaderApiTest, InformationRecordComesWithItsWordsTurned)
{
    openReader();
    Bytes info(52);
    for (std::size_t i = 0; i < info.size(); ++i)
        info[i] = static_cast<std::uint8_t>(i + 1);
    sim.setInformation(info);
    std::uint8_t got[255];
    std::memset(got, 0xEE, sizeof got);
    ASSERT_EQ(QARNGetReaderInfo(handle, got), RC_OK);
    Bytes expected = info;
    for (std::size_t offset : readersim::kInfoWordOffsets)
        std::swap(expected[offset], expected[offset + 1]);
    EXPECT_EQ(Bytes(got, got + info.size()), expected);
    EXPECT_EQ(got[11], 13);
    EXPECT_EQ(got[12], 12);
    EXPECT_EQ(got[info.size()], 0xEE) << "only the reply's length is copied";

    // A record that ends inside a field, or before it, keeps its own bytes.
    for (std::size_t length : {12u, 49u}) {
        const Bytes shortInfo(info.begin(), info.begin() + std::ptrdiff_t(length));
        sim.setInformation(shortInfo);
        std::memset(got, 0xEE, sizeof got);
        ASSERT_EQ(QARNGetReaderInfo(handle, got), RC_OK);
        Bytes turned = shortInfo;
        for (std::size_t offset : readersim::kInfoWordOffsets)
            if (offset + 1 < length)
                std::swap(turned[offset], turned[offset + 1]);
        turned.push_back(0xEE);
        EXPECT_EQ(Bytes(got, got + length + 1), turned) << length;
    }
}

TEST_F(ReaderApiTest, FileLengthsArriveLowByteFirst)
{
    openReader();
    sim.setFileLengths(0x1234, 0xFFFF, 0);
    std::uint32_t a = 1, b = 1, c = 1;
    ASSERT_EQ(QARNGetFileLen(handle, &a, &b, &c), RC_OK);
    EXPECT_EQ(a, 0x1234u);
    EXPECT_EQ(b, 0xFFFFu) << "widened without sign";
    EXPECT_EQ(c, 0u);
}

TEST_F(ReaderApiTest, LogRecordsAreConvertedRetainedAndAcknowledged)
{
    openReader();
    std::uint8_t record[255];
    std::uint8_t length = 0xEE;
    std::memset(record, 0xEE, sizeof record);
    EXPECT_EQ(QARNGetLogData(handle, record, &length), RC_LOG_E4) << "an empty log answers 'Q'";
    EXPECT_EQ(length, 0xEE);
    EXPECT_EQ(record[0], 0xEE);
    sim.queueFault(reply('R'));
    EXPECT_EQ(QARNGetLogData(handle, record, &length), RC_LOG_E5);
    EXPECT_EQ(length, 0xEE);

    Bytes first(20);
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = static_cast<std::uint8_t>(0x60 + i);
    first[5] = 0x25;
    sim.queueLogRecord(first);
    ASSERT_EQ(QARNGetLogData(handle, record, &length), RC_OK);
    EXPECT_EQ(length, 20);
    Bytes converted = first;
    converted[5] = 25;
    EXPECT_EQ(Bytes(record, record + 20), converted);
    EXPECT_EQ(record[20], 0xEE);
    EXPECT_EQ(sim.logRecordsLeft(), 1u) << "fetching does not acknowledge";
    ASSERT_EQ(QARNGetLogAck(handle, 0x100), RC_OK);
    EXPECT_EQ(sim.requests().back().payload, Bytes{0x00}) << "low 8 bits of the value";
    EXPECT_EQ(sim.logRecordsLeft(), 0u);

    // A record marked 0xFF in byte 5 stands for the one retained before.
    Bytes repeat(30, 0x77);
    repeat[5] = 0xFF;
    sim.queueLogRecord(repeat);
    std::memset(record, 0xEE, sizeof record);
    ASSERT_EQ(QARNGetLogData(handle, record, &length), RC_OK);
    EXPECT_EQ(length, 30);
    EXPECT_EQ(Bytes(record, record + 16), Bytes(converted.begin(), converted.begin() + 16));
    EXPECT_EQ(record[16], 0xEE);
}

TEST_F(ReaderApiTest, AcknowledgementOnlyFailsOnS)
{
    openReader();
    sim.refuseAcknowledgements(true);
    EXPECT_EQ(QARNGetLogAck(handle, 0), RC_LOG_E4);
    sim.refuseAcknowledgements(false);
    EXPECT_EQ(QARNGetLogAck(handle, 0), RC_OK);
    sim.queueFault(reply(0x77));
    EXPECT_EQ(QARNGetLogAck(handle, 0), RC_OK) << "any status but 'S' is taken";
}

// Both families' special commands: what goes to the reader and what comes
// back; a command that selects no reader command sends nothing, fails and
// writes nothing, also when it is too short for what byte 0 selects and the
// bytes beyond its length would select one.
TEST_F(ReaderApiTest, SpecialCommandsPassThroughTheirReaderCommands)
{
    openReader();
    using Special = std::int32_t (*)(std::int32_t, const unsigned char *, std::int32_t, unsigned char *,
                                     unsigned char *);
    const struct {
        Bytes command;
        std::int32_t length;
        int code; // -1: nothing is sent
    } cases[] = {
        {{0x84, 0x00}, 2, 0xB3}, {{0x89}, 1, 0xA7}, {{0x8A}, 1, 0xA8}, {{0x8B}, 1, 0xA9}, {{0x8C}, 1, 0xAA},
        {{0x86, 0xDE, 0xAD, 0xBE, 0xEF}, 0x305, 0xA1}, {{0x86}, 1, 0xA1},
        {{0x84, 0x01}, 2, -1}, {{0x85}, 1, -1}, {{0x87}, 1, -1}, {{0x88}, 1, -1}, {{0x00}, 1, -1},
        {{0xFF}, 1, -1}, {{0x86, 1, 2}, 0x100, -1}, {{0x89}, 0, -1}, {{0x84, 0x00}, 1, -1},
        {{0x84, 0x00}, 0x201, -1},
    };
    for (Special special : {Special{QARNSpecialCommand}, Special{TRQUserCommand}}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(::testing::Message() << std::hex << int(c.command[0]) << " length " << c.length
                                              << (special == QARNSpecialCommand ? " QARN" : " TRQ"));
            sim.forgetRequests();
            std::uint8_t reply[255];
            std::memset(reply, 0xEE, sizeof reply);
            std::uint8_t length = 0xEE;
            const std::int32_t rc = special(handle, c.command.data(), c.length, reply, &length);
            if (c.code < 0) {
                EXPECT_EQ(rc, RC_FAILED);
                EXPECT_TRUE(sim.requests().empty());
                EXPECT_EQ(length, 0xEE);
                EXPECT_EQ(reply[0], 0xEE);
                continue;
            }
            ASSERT_EQ(rc, RC_OK);
            ASSERT_EQ(commands(), Bytes{static_cast<std::uint8_t>(c.code)});
            Bytes data;
            for (std::int32_t k = 1; c.code == 0xA1 && k < (c.length & 0xFF); ++k)
                data.push_back(c.command.at(static_cast<std::size_t>(k)));
            EXPECT_EQ(sim.requests()[0].payload, data);
            // Only user data carries bytes; the simulator answers with the
            // command code and those bytes.
            ASSERT_EQ(length, data.size() + 1);
            EXPECT_EQ(reply[0], c.code);
            EXPECT_EQ(Bytes(reply + 1, reply + length), data);
        }
    }
    sim.queueFault({Fault::UnexpectedStatus, 0, 0x41, {}});
    std::uint8_t reply[255], length = 0;
    EXPECT_EQ(QARNSpecialCommand(handle, cases[0].command.data(), 2, reply, &length), RC_FAILED);
}

TEST_F(ReaderApiTest, StartUpFailureIsReportedAndTheReaderIsUnreachable)
{
    openReader();
    setenv("COM6", "/nonexistent/tty", 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(QARNStartAPI(6), RC_PORT_FAILED);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "VELMO: StartAPI FASLE!\n");
    unsetenv("COM6");
    std::uint32_t a, b, c;
    EXPECT_EQ(QARNGetFileLen(handle, &a, &b, &c), RC_FAILED);
    EXPECT_TRUE(sim.requests().empty()) << "the port was closed before the failed open";

    // An application that holds COMn on its standard error descriptor: the
    // notice is not written onto that line.
    const int line = open(sim.devicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(line, 0);
    ASSERT_EQ(flock(line, LOCK_EX), 0);
    const int savedError = dup(STDERR_FILENO);
    dup2(line, STDERR_FILENO);
    setenv("COM6", sim.devicePath().c_str(), 1);
    const std::int32_t held = QARNStartAPI(6);
    unsetenv("COM6");
    dup2(savedError, STDERR_FILENO);
    close(savedError);
    EXPECT_EQ(held, RC_PORT_FAILED);
    // A request of our own behind anything the notice put on the line: once
    // the reader has it, it has read all before it.
    const std::uint8_t getTime[] = {0x81, 0xB2, 0x00, 0x33};
    ASSERT_EQ(write(line, getTime, sizeof getTime), ssize_t(sizeof getTime));
    for (int waited = 0; commands().empty() && waited < 5000; ++waited)
        usleep(1000);
    close(line);
    EXPECT_EQ(commands(), Bytes{0xB2});
    EXPECT_EQ(sim.strayBytes(), 0u) << "the notice went onto the line";

    setenv("COM1", sim.devicePath().c_str(), 1);
    EXPECT_EQ(StartAPI(), RC_OK) << "StartAPI opens COM1";
    unsetenv("COM1");
    EXPECT_EQ(QARNGetFileLen(handle, &a, &b, &c), RC_OK);
    EXPECT_EQ(TerminateAPI(), RC_OK);
    EXPECT_EQ(TerminateAPI(), RC_OK);
}

} // namespace
