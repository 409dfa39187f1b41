// The Win32 link and the DLL's exports over a real COM port: under Wine, a
// Linux pty mapped as COMn with the reader simulator program on its other
// side (tests/with_simulator.sh). Arguments: the port of a simulated reader,
// the port of a line that takes no bytes, and the port of a reader whose log
// only the log test reads.
#include "qarnapi.h"
#include "win32_link.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint16_t simulatorPort = 0;
std::uint16_t stalledPort = 0;
std::uint16_t logPort = 0;

bool underWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Per byte, for the simulator's answers: a bound on a hung line, not a speed
// (the simulator is another process, and Wine's start-up may still be busy).
constexpr std::uint32_t kGenerousMs = 5000;

// The clock request: 81 B2 00 and its checksum.
const Bytes kGetTimeFrame{0x81, 0xB2, 0x00, 0x33};

struct ComLinkTest : ::testing::Test {
    qarn::SystemTick tick;
    qarn::Win32Link link{tick};
    qarn::Port port = qarn::kNoPort;

    void SetUp() override
    {
        port = link.OpenPort(simulatorPort, 'n');
        ASSERT_NE(port, qarn::kNoPort) << "\\\\.\\COM" << simulatorPort << " did not open";
    }
    void TearDown() override
    {
        if (port != qarn::kNoPort) {
            EXPECT_NE(link.ClosePort(port), 0);
        }
    }

    Bytes read(std::size_t count, std::uint32_t timeoutMs)
    {
        Bytes got;
        std::uint8_t byte = 0;
        while (got.size() < count && link.ReadByte(port, &byte, timeoutMs) == 1)
            got.push_back(byte);
        return got;
    }
};

TEST_F(ComLinkTest, OpensAtTwoDigitNumbersWithTheReaderLine)
{
    ASSERT_GE(simulatorPort, 10) << "the run maps a two-digit COM number";
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(reinterpret_cast<HANDLE>(port), &dcb));
    EXPECT_EQ(dcb.BaudRate, 38400u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    // A pty keeps no parity setting, so even parity for other selectors
    // than 'n' is checked on the settings as built.
}

// Real Windows only: what holds a second holder off is owned under Wine by
// Win32ExclusiveOpen (win32_link_tests.cpp), on a file. Registered on its
// own, so that a run under Wine shows it as skipped.
TEST_F(ComLinkTest, SecondOpenOfAHeldPortFails)
{
    if (underWine())
        GTEST_SKIP() << "Wine does not enforce exclusive access to COM ports";
    EXPECT_EQ(link.OpenPort(simulatorPort, 'n'), qarn::kNoPort);
}

TEST_F(ComLinkTest, FrameGoesOutAndEchoAndReplyComeBackByteByByte)
{
    const Bytes request = kGetTimeFrame;
    ASSERT_EQ(link.WriteBytes(port, request.data(), request.size()), 1);
    EXPECT_EQ(read(request.size(), kGenerousMs), request) << "the line echoes every byte";
    const Bytes reply = read(3 + 7 + 1, kGenerousMs);
    ASSERT_EQ(reply.size(), 11u);
    EXPECT_EQ(reply[0], 0xF8);
    EXPECT_EQ(reply[1], 0x40);
    EXPECT_EQ(reply[2], 7);
}

TEST_F(ComLinkTest, QueuedByteIsTakenEvenWithNoTimeLeft)
{
    const Bytes request = kGetTimeFrame;
    ASSERT_EQ(link.WriteBytes(port, request.data(), request.size()), 1);
    // Until the echo is in the driver's queue.
    COMSTAT queue{};
    DWORD errors = 0;
    for (int waited = 0; waited < 5000 && queue.cbInQue < request.size(); ++waited) {
        Sleep(1);
        ASSERT_TRUE(ClearCommError(reinterpret_cast<HANDLE>(port), &errors, &queue));
    }
    ASSERT_GE(queue.cbInQue, request.size());
    std::uint8_t byte = 0;
    EXPECT_EQ(link.ReadByte(port, &byte, 0), 1);
    EXPECT_EQ(byte, 0x81);
}

TEST_F(ComLinkTest, SilentLineTimesOutWithoutTouchingTheDestination)
{
    for (std::uint32_t timeout : {0u, 1u, 30u, 120u}) {
        std::uint8_t byte = 0x5A;
        const std::uint32_t start = GetTickCount();
        EXPECT_EQ(link.ReadByte(port, &byte, timeout), 0);
        EXPECT_GT(GetTickCount() - start, timeout) << "waits at least its timeout";
        EXPECT_EQ(byte, 0x5A);
    }
}

TEST(ComStalledLine, WriteTheLineDoesNotTakeFailsAndTheExchangeGivesUp)
{
    qarn::SystemTick tick;
    qarn::Win32Link link{tick};
    const qarn::Port port = link.OpenPort(stalledPort, 'n');
    ASSERT_NE(port, qarn::kNoPort);
    const Bytes request = kGetTimeFrame;
    EXPECT_EQ(link.WriteBytes(port, request.data(), request.size()), 0);
    EXPECT_NE(link.ClosePort(port), 0);

    ASSERT_EQ(QARNStartAPI(stalledPort), RC_OK);
    unsigned char clock[7] = {0x77};
    EXPECT_EQ(QARNGetTime(0, clock), RC_FAILED);
    EXPECT_EQ(clock[0], 0x77);
    EXPECT_EQ(QARNTerminateAPI(), RC_OK);
}

// The DLL over the same port, against the simulator's reader.
struct ComApiTest : ::testing::Test {
    std::int32_t handle = -1;

    void SetUp() override { start(simulatorPort); }
    void start(std::uint16_t portNumber)
    {
        ASSERT_EQ(QARNStartAPI(portNumber), RC_OK);
        ASSERT_EQ(QARNOpenReader(&handle, 1), RC_OK);
        ASSERT_EQ(handle, 0);
    }
    void TearDown() override { EXPECT_EQ(QARNTerminateAPI(), RC_OK); }
};

TEST_F(ComApiTest, OpenSetsTheClockFromLocalTimeAndClockReadsBack)
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    unsigned char clock[7] = {};
    ASSERT_EQ(QARNGetTime(handle, clock), RC_OK);
    // The reader keeps two year digits; they come back converted from BCD.
    EXPECT_EQ(clock[0], local.tm_year % 100);
    EXPECT_EQ(clock[1], local.tm_mon + 1);

    const unsigned char set[7] = {126, 3, 14, 15, 9, 26, 6};
    ASSERT_EQ(QARNSetTime(handle, set), RC_OK);
    ASSERT_EQ(TRQGetTime(handle, clock), RC_OK);
    EXPECT_EQ(Bytes(clock, clock + 7), (Bytes{26, 3, 14, 15, 9, 26, 6}));
}

TEST_F(ComApiTest, RecordsAndLengthsArriveConverted)
{
    unsigned char info[255] = {};
    ASSERT_EQ(QARNGetReaderInfo(handle, info), RC_OK);
    EXPECT_EQ(info[10], 10);
    EXPECT_EQ(info[11] | info[12] << 8, 0x1001) << "turned low byte first";
    EXPECT_EQ(info[48] | info[49] << 8, 0x1708);
    EXPECT_EQ(info[63], 63);

    std::uint32_t lengths[3] = {};
    ASSERT_EQ(QARNGetFileLen(handle, &lengths[0], &lengths[1], &lengths[2]), RC_OK);
    EXPECT_EQ(lengths[0], 1024u);
    EXPECT_EQ(lengths[1], 512u);
    EXPECT_EQ(lengths[2], 400u);
}

TEST_F(ComApiTest, FilesAndRecordsAreAcknowledged)
{
    Bytes data(1000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    EXPECT_EQ(QARNSendFile(handle, 1, 1000, 0, 0, data.data()), RC_OK);
    EXPECT_EQ(TRQSendFile(handle, 2, 300, 0, 0, data.data()), RC_OK);
    EXPECT_EQ(QARNSendFile(handle, 3, 80, 0, 0, data.data()), RC_OK);
    EXPECT_EQ(QARNSendFile(handle, 3, 41, 0, 0, data.data()), RC_FAILED);
}

// On a reader of its own, whose three log records no other test takes.
struct ComLogTest : ComApiTest {
    void SetUp() override { start(logPort); }
};

TEST_F(ComLogTest, LogIsFetchedRecordByRecordUntilTheReaderHasNoMore)
{
    unsigned char record[255] = {};
    unsigned char length = 0;
    ASSERT_EQ(QARNGetLogData(handle, record, &length), RC_OK);
    ASSERT_EQ(length, 16);
    EXPECT_EQ(record[0], 1);
    EXPECT_EQ(record[5], 15) << "byte 5 arrives in BCD";
    ASSERT_EQ(QARNGetLogAck(handle, 0), RC_OK);

    ASSERT_EQ(TRQGetLogEntry(handle, record, &length), RC_OK);
    EXPECT_EQ(record[0], 2);
    EXPECT_EQ(record[5], 25);
    ASSERT_EQ(TRQGetLogEntry(handle, record, &length), RC_OK);
    EXPECT_EQ(record[0], 3);

    record[0] = 0xEE;
    EXPECT_EQ(QARNGetLogData(handle, record, &length), RC_LOG_E4);
    EXPECT_EQ(record[0], 0xEE);
    EXPECT_EQ(QARNCloseReader(handle), RC_OK);
}

TEST(ComApiWithoutPort, OperationsFailAfterTerminateAndDelayWaits)
{
    ASSERT_EQ(QARNStartAPI(simulatorPort), RC_OK);
    ASSERT_EQ(QARNTerminateAPI(), RC_OK);
    unsigned char clock[7] = {};
    EXPECT_EQ(QARNGetTime(0, clock), RC_FAILED);

    const std::uint32_t start = GetTickCount();
    EXPECT_GT(delay(10) - start, 10u);
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s READER-COM-NUMBER STALLED-COM-NUMBER LOG-READER-COM-NUMBER\n", argv[0]);
        return 2;
    }
    simulatorPort = static_cast<std::uint16_t>(std::atoi(argv[1]));
    stalledPort = static_cast<std::uint16_t>(std::atoi(argv[2]));
    logPort = static_cast<std::uint16_t>(std::atoi(argv[3]));
    return RUN_ALL_TESTS();
}
