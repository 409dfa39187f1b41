// The library as an application loads it, on pseudo-terminals: the test
// plays the device on the other side of each port.
#include "pseudo_terminal.h"
#include "serwyn.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <termios.h>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#endif

namespace {

constexpr int kPort = 2;  // COM3

class PtyPort : public ::testing::Test {
protected:
    PseudoTerminal pty;

    void SetUp() override { setenv("COM3", pty.name.c_str(), 1); }

    void TearDown() override
    {
        for (int port = 0; port < 16; ++port) {
            if (SioUnGetc(port, 0) == 0)
                SioDone(port);
        }
        for (const char *name : {"COM3", "COM4", "COM5", "COM16"})
            unsetenv(name);
    }

    void open() { ASSERT_EQ(SioReset(kPort, 1024, 1024), 0) << std::strerror(SioWinError(nullptr, 0)); }

    termios line() const
    {
        termios t{};
        EXPECT_EQ(tcgetattr(pty.terminal, &t), 0);
        return t;
    }

    speed_t speed() const
    {
        termios t = line();
        return cfgetospeed(&t);
    }
};

TEST_F(PtyPort, OpensARawLineAt19200WhoseReadsNeverWait)
{
    open();
    termios t = line();
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(t.c_cc[VSTART], 17);
    EXPECT_EQ(t.c_cc[VSTOP], 19);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);

    EXPECT_EQ(SioGetc(kPort), SIO_RX_EMPTY);
    char buffer[8];
    EXPECT_EQ(SioGets(kPort, buffer, sizeof buffer), 0);
    EXPECT_EQ(SioRxQue(kPort), 0);
    EXPECT_EQ(SioTxQue(kPort), 0);
}

TEST_F(PtyPort, ClosingPutsBackTheTimeLimitsFoundAtOpen)
{
    termios t = line();
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 7;
    ASSERT_EQ(tcsetattr(pty.terminal, TCSANOW, &t), 0);
    open();
    EXPECT_EQ(line().c_cc[VMIN], 0);
    EXPECT_EQ(SioDone(kPort), 1);
    EXPECT_EQ(line().c_cc[VMIN], 1);
    EXPECT_EQ(line().c_cc[VTIME], 7);
    EXPECT_EQ(SioDone(kPort), SIO_NOT_OPEN);
}

TEST_F(PtyPort, BytesGoBothWaysIncludingZeroAndHighBytes)
{
    open();
    EXPECT_EQ(SioPutc(kPort, 0x100 + 'A'), 0);
    EXPECT_EQ(SioPuts(kPort, "he\0lo", 5), 5);
    EXPECT_EQ(SioPutc(kPort, 0xFF), 0);
    EXPECT_EQ(pty.receive(7), std::string("Ahe\0lo\xff", 7));
    EXPECT_EQ(SioTxClear(kPort), 0);

    pty.send(std::string("\x00\xff\r\nabc", 7));
    EXPECT_EQ(SioGetc(kPort), 0) << "a received zero byte is data";
    EXPECT_EQ(SioGetc(kPort), 0xFF) << "bytes are unsigned";
    EXPECT_EQ(SioGetc(kPort), '\r') << "no line-end translation";
    char buffer[16];
    EXPECT_EQ(SioGets(kPort, buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "\na");
    EXPECT_EQ(SioGets(kPort, buffer, sizeof buffer), 2);
    EXPECT_EQ(std::string(buffer, 2), "bc");
    EXPECT_EQ(SioGetc(kPort), SIO_RX_EMPTY);
}

TEST_F(PtyPort, APushedBackByteComesFirstAndAloneAndOnlyOnce)
{
    open();
    EXPECT_EQ(SioUnGetc(kPort, 65), 0);
    EXPECT_EQ(SioUnGetc(kPort, 66), 0);
    EXPECT_EQ(SioRxQue(kPort), 0) << "the pushed-back byte is not counted";
    EXPECT_EQ(SioGetc(kPort), 66) << "the second push-back replaced the first";
    EXPECT_EQ(SioGetc(kPort), SIO_RX_EMPTY);

    EXPECT_EQ(SioUnGetc(kPort, 321), 0);
    pty.send("12345");
    char buffer[10] = {};
    EXPECT_EQ(SioGets(kPort, buffer, 0), 0) << "no room: the byte stays";
    EXPECT_EQ(SioGets(kPort, buffer, 10), 1);
    EXPECT_EQ(buffer[0], 'A') << "only the low byte of 321 was kept";
    EXPECT_EQ(SioGets(kPort, buffer, 10), 5);
    EXPECT_EQ(std::string(buffer, 5), "12345");

    EXPECT_EQ(SioUnGetc(kPort, 'z'), 0);
    EXPECT_EQ(SioUnGetc(kPort, 0), 0);
    EXPECT_EQ(SioGetc(kPort), SIO_RX_EMPTY) << "pushing back 0 empties the slot";

    // The slot belongs to the port number and outlives closing it.
    EXPECT_EQ(SioUnGetc(kPort, 'k'), 0);
    EXPECT_EQ(SioDone(kPort), 1);
    open();
    EXPECT_EQ(SioGetc(kPort), 'k');
}

TEST_F(PtyPort, RxClearDrainsThePushedBackAndReceivedBytes)
{
    open();
    pty.send("xyz");
    EXPECT_EQ(SioUnGetc(kPort, 'p'), 0);
    EXPECT_EQ(SioRxClear(kPort), 0);
    EXPECT_EQ(SioGetc(kPort), SIO_RX_EMPTY);
    EXPECT_EQ(SioRxQue(kPort), 0);
    EXPECT_EQ(SioRxClear(kPort), 0) << "an idle port drains to nothing";
}

TEST_F(PtyPort, SpeedsByCodeAndByRateIncludingRatesWithoutATermiosConstant)
{
    open();
    EXPECT_NE(SioBaud(kPort, 9), 0);
    EXPECT_EQ(speed(), B115200);
    EXPECT_NE(SioBaud(kPort, 57600), 0);
    EXPECT_EQ(speed(), B57600);
    EXPECT_NE(SioBaud(kPort, 10), 0);
    EXPECT_EQ(customRateOf(pty.terminal), 10u) << "10 is a rate of 10, not a code";
    EXPECT_NE(SioBaud(kPort, 5), 0);
    EXPECT_EQ(speed(), B9600) << "back from a custom rate to a fixed one";
    EXPECT_EQ(customRateOf(pty.terminal), 0u);
}

TEST_F(PtyPort, ParityAndStopBitsReachTheLine)
{
    open();
    // A pseudo-terminal keeps 8 data bits and drops the parity-enable flag
    // itself; the kind of parity and the stop bits stay.
    struct Case {
        int parity, stopBits;
        tcflag_t set, clear;
    } cases[] = {
        {1, 0, PARODD, CMSPAR | CSTOPB},
        {2, 2, CSTOPB, PARODD | CMSPAR},
        {3, 0, PARODD | CMSPAR, CSTOPB},
        {4, 2, CMSPAR | CSTOPB, PARODD},
        {0, 0, 0, PARODD | CMSPAR | CSTOPB},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(SioParms(kPort, c.parity, c.stopBits, 7), 0);
        termios t = line();
        EXPECT_EQ(t.c_cflag & c.set, c.set) << c.parity;
        EXPECT_EQ(t.c_cflag & c.clear, 0u) << c.parity;
    }
}

TEST_F(PtyPort, SpeedsAreReportedAppliedWhenTheTerminalKeepsFewerFramingBits)
{
    open();
    // A pseudo-terminal holds neither parity nor 7 data bits; the rest of
    // each record, the speed above all, is in force all the same.
    const int framings[][2] = {{2, 8}, {0, 7}, {1, 7}};
    for (const auto &framing : framings) {
        SCOPED_TRACE(testing::Message() << "parity " << framing[0] << ", data bits " << framing[1]);
        EXPECT_EQ(SioParms(kPort, framing[0], 0, framing[1]), 0);
        EXPECT_NE(SioBaud(kPort, 5), 0);
        EXPECT_EQ(speed(), B9600);
        EXPECT_NE(SioBaud(kPort, 5), 0) << "the same speed again";
        EXPECT_NE(SioBaud(kPort, 1000), 0);
        EXPECT_EQ(customRateOf(pty.terminal), 1000u);
        EXPECT_NE(SioBaud(kPort, 7), 0);
        EXPECT_EQ(speed(), B38400);
        EXPECT_EQ(customRateOf(pty.terminal), 0u);
    }
}

TEST_F(PtyPort, CodesTheLineCannotTakeBlockSettingsUntilGoodOnesAreStored)
{
    open();
    const int bad[][3] = {{7, 0, 8}, {0, 0, 9}, {0, 1, 8}, {0, 0, 4}};
    for (const auto &codes : bad) {
        SCOPED_TRACE(testing::Message() << codes[0] << codes[1] << codes[2]);
        EXPECT_EQ(SioParms(kPort, codes[0], codes[1], codes[2]), 0);
        EXPECT_EQ(SioBaud(kPort, 7), 0);
        EXPECT_EQ(SioFlow(kPort, 'S'), 0);
        EXPECT_EQ(speed(), B19200) << "nothing of the refused settings reached the line";
        EXPECT_FALSE(line().c_iflag & IXON);
        EXPECT_EQ(SioParms(kPort, 0, 0, 8), 0);
        EXPECT_EQ(speed(), B38400) << "the rate and flow mode stored meanwhile apply now";
        EXPECT_TRUE(line().c_iflag & IXON);
        EXPECT_EQ(SioFlow(kPort, 'N'), 0);
        EXPECT_NE(SioBaud(kPort, 6), 0);
    }
}

TEST_F(PtyPort, FlowControlModes)
{
    open();
    EXPECT_EQ(SioFlow(kPort, 'H'), 0);
    EXPECT_TRUE(line().c_cflag & CRTSCTS);
    EXPECT_FALSE(line().c_iflag & (IXON | IXOFF));
    EXPECT_EQ(SioFlow(kPort, 'S'), 0);
    EXPECT_FALSE(line().c_cflag & CRTSCTS);
    EXPECT_EQ(line().c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(SioFlow(kPort, 'N'), 0);
    EXPECT_FALSE(line().c_cflag & CRTSCTS);
    EXPECT_FALSE(line().c_iflag & (IXON | IXOFF));
}

// Exclusive use of a device is comport's, and its tests own it; that
// closing releases it shows here when a port opens again.
TEST_F(PtyPort, ResettingAnOpenPortOpensItAfresh)
{
    open();
    EXPECT_EQ(SioBaud(kPort, 9), 1);
    open();
    EXPECT_EQ(speed(), B19200);
    EXPECT_EQ(SioPuts(kPort, "ok", 2), 2);
    EXPECT_EQ(pty.receive(2), "ok");
    EXPECT_EQ(SioDone(kPort), 1);
    open();
}

TEST_F(PtyPort, TheLastPortIsCom16)
{
    setenv("COM16", pty.name.c_str(), 1);
    ASSERT_EQ(SioReset(15, 64, 64), 0);
    EXPECT_EQ(SioPutc(15, '!'), 0);
    EXPECT_EQ(pty.receive(1), "!");
}

TEST_F(PtyPort, AMissingDeviceFailsWithTheSystemsCodeAndStaysClosed)
{
    setenv("COM5", "/nonexistent/ttyQ", 1);
    EXPECT_EQ(SioReset(4, 1024, 1024), SIO_OS_ERROR);
    EXPECT_EQ(SioWinError(nullptr, 0), ENOENT);
    char text[64];
    EXPECT_EQ(SioWinError(text, sizeof text), ENOENT);
    EXPECT_STREQ(text, std::strerror(ENOENT));
    EXPECT_EQ(SioGetc(4), SIO_NOT_OPEN);
    EXPECT_EQ(SioDone(4), SIO_NOT_OPEN);
}

TEST_F(PtyPort, AHungUpLineFailsWritesAndReadsWithTheSystemsCode)
{
    open();
    pty.hangUp();
    EXPECT_EQ(SioPutc(kPort, 'x'), SIO_OS_ERROR);
    EXPECT_EQ(SioWinError(nullptr, 0), EIO);
    EXPECT_EQ(SioPuts(kPort, "xy", 2), SIO_OS_ERROR);
    char buffer[4];
    EXPECT_EQ(SioGets(kPort, buffer, sizeof buffer), SIO_OS_ERROR);
    EXPECT_EQ(SioWinError(nullptr, 0), EIO);
    EXPECT_EQ(SioGetc(kPort), SIO_RX_EMPTY) << "the queue cannot be asked: nothing to read";
    EXPECT_EQ(SioRxQue(kPort), 0);
    EXPECT_EQ(SioDone(kPort), 1);
}

TEST_F(PtyPort, AHangUpAfterBytesWereReadFailsTheNextReads)
{
    open();
    pty.send("ab");
    char buffer[4];
    ASSERT_EQ(SioGets(kPort, buffer, sizeof buffer), 2);
    pty.hangUp();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(SioGets(kPort, buffer, sizeof buffer), SIO_OS_ERROR) << i;
        EXPECT_EQ(SioWinError(nullptr, 0), EIO);
    }
    EXPECT_EQ(SioGetc(kPort), SIO_RX_EMPTY);
}

TEST_F(PtyPort, ReadsNeverWaitWhateverTheTerminalsTimeLimits)
{
    open();
    // Another holder of the terminal asks reads to wait for a byte.
    termios t = line();
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ASSERT_EQ(tcsetattr(pty.terminal, TCSANOW, &t), 0);
    EXPECT_EQ(SioGetc(kPort), SIO_RX_EMPTY);
    char buffer[4];
    EXPECT_EQ(SioGets(kPort, buffer, sizeof buffer), 0);
    pty.send("xy");
    EXPECT_EQ(SioGetc(kPort), 'x');
    EXPECT_EQ(SioGets(kPort, buffer, sizeof buffer), 1);
    EXPECT_EQ(SioGets(kPort, buffer, sizeof buffer), 0);
}

TEST_F(PtyPort, AWriteLargerThanTheBuffersWaitsUntilTheFarSideTakesItAll)
{
    open();
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    std::string received;
    std::thread farSide([&] { received = pty.receive(bytes.size()); });
    EXPECT_EQ(SioPuts(kPort, bytes.data(), static_cast<int>(bytes.size())), static_cast<int>(bytes.size()));
    farSide.join();
    EXPECT_TRUE(received == bytes) << received.size() << " bytes arrived";
}

TEST_F(PtyPort, ModemLinesOfALineWithoutThem)
{
    open();
    // A pseudo-terminal has no modem-control lines: the system refuses.
    EXPECT_EQ(SioDTR(kPort, 'S'), 0);
    EXPECT_EQ(SioDTR(kPort, 'R'), 1) << "the application's request is remembered";
    EXPECT_EQ(SioRTS(kPort, 'C'), 0);
    EXPECT_EQ(SioRTS(kPort, 'R'), 0);
    EXPECT_EQ(SioCTS(kPort), 0);
    EXPECT_EQ(SioDCD(kPort), 0);
    EXPECT_EQ(SioStatus(kPort, -1), 0);
    EXPECT_EQ(SioFlow(kPort, 'N'), 0) << "raising the remembered DTR again fails quietly";
    EXPECT_EQ(SioBrkSig(kPort, 'D'), 0);
}

// The kernel's own answer to a request for one I/O port: 0 when granted
// (and given back at once), else its errno.
int ioPortAccess(unsigned address)
{
#if defined(__x86_64__) || defined(__i386__)
    if (ioperm(address, 1, 1) != 0)
        return errno;
    ioperm(address, 1, 0);
    return 0;
#else
    (void)address;
    return ENOSYS;
#endif
}

TEST_F(PtyPort, IoPortReadIsAByteWhereTheKernelGrantsThePortElseItsRefusal)
{
    open();
    constexpr unsigned kDiagnosticPort = 0x80;  // harmless to read
    const int access = ioPortAccess(kDiagnosticPort);
    const int value = SioRead(kPort, kDiagnosticPort - kPort);
    if (access == 0) {
        EXPECT_GE(value, 0) << std::strerror(SioWinError(nullptr, 0));
        EXPECT_LE(value, 255);
    } else {
        EXPECT_EQ(value, SIO_OS_ERROR);
        EXPECT_EQ(SioWinError(nullptr, 0), access) << std::strerror(access);
    }
}

} // namespace
