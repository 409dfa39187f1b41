#include "frame_exchange.h"
#include "posix_link.h"
#include "stuck_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A tick that moves by a fixed step each time it is read, and by the
// requested time when slept on; starts wherever a test puts it.
struct SteppingTick final : qarn::Tick {
    std::uint32_t value;
    std::uint32_t step;
    int reads = 0;
    SteppingTick(std::uint32_t start, std::uint32_t stepPerRead) : value(start), step(stepPerRead) {}
    std::uint32_t now() override
    {
        std::uint32_t t = value;
        value += step;
        ++reads;
        return t;
    }
    void sleep(std::uint32_t ms) override { value += ms; }
};

struct Pty {
    int master = -1, slave = -1;
    char name[256] = {};
    Pty()
    {
        EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        // Raw from the start, so the pty itself echoes nothing.
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        setenv("COM9", name, 1);
    }
    ~Pty()
    {
        unsetenv("COM9");
        close(master);
        close(slave);
    }
};

TEST(SerialLinkWait, ReadByteNearTickWrapWaitsItsWholeTimeout)
{
    Pty pty;
    // Start 2 ms before the wrap: start + timeout overflows.
    SteppingTick tick(0xFFFFFFFEu, 1);
    qarn::PosixLink link(tick);
    std::uint8_t byte = 0x55;
    EXPECT_EQ(link.ReadByte(pty.slave, &byte, 3), 0);
    EXPECT_EQ(byte, 0x55) << "destination untouched on timeout";
    EXPECT_GT(tick.value - 0xFFFFFFFEu, 3u) << "ended before its timeout had passed";

    // start + timeout == 0xFFFFFFFF, which no tick can exceed: it ends all the same.
    SteppingTick edge(0xFFFFFFF0u, 1);
    qarn::PosixLink edgeLink(edge);
    EXPECT_EQ(edgeLink.ReadByte(pty.slave, &byte, 15), 0);
    EXPECT_GT(edge.value - 0xFFFFFFF0u, 15u) << "ended before its timeout had passed";
}

TEST(SerialLinkWait, DelayNearTickWrapEndsJustPastItsLength)
{
    SteppingTick tick(0xFFFFFFFAu, 1);
    qarn::PosixLink link(tick);
    EXPECT_EQ(link.delay(10), 0xFFFFFFFAu + 11);

    SteppingTick edge(0xFFFFFFF0u, 1);
    qarn::PosixLink edgeLink(edge);
    EXPECT_EQ(edgeLink.delay(15), 0u);

    SteppingTick still(77, 1);
    qarn::PosixLink stillLink(still);
    EXPECT_EQ(stillLink.delay(0), 78u) << "delay(0) ends when the tick moves";
}

TEST(SerialLinkWait, QueuedByteIsTakenWithZeroTimeout)
{
    Pty pty;
    ASSERT_EQ(write(pty.master, "\x42\x43", 2), 2);
    // The pty hands bytes over asynchronously: wait for the first one.
    qarn::MonotonicTick real;
    qarn::PosixLink realLink(real);
    std::uint8_t byte = 0;
    ASSERT_EQ(realLink.ReadByte(pty.slave, &byte, 5000), 1);
    EXPECT_EQ(byte, 0x42);

    // With a tick that never moves, only a queued byte can end the call.
    SteppingTick frozen(5, 0);
    qarn::PosixLink link(frozen);
    EXPECT_EQ(link.ReadByte(pty.slave, &byte, 0), 1);
    EXPECT_EQ(byte, 0x43);
}

TEST(SerialLinkWait, HungUpPortTimesOutLikeASilentOne)
{
    Pty pty;
    close(pty.master);
    pty.master = -1;
    SteppingTick tick(100, 1);
    qarn::PosixLink link(tick);
    std::uint8_t byte = 7;
    EXPECT_EQ(link.ReadByte(pty.slave, &byte, 20), 0);
    EXPECT_GT(tick.value - 100, 20u);
    // A poll of the dead port each millisecond would read the tick 20 times.
    EXPECT_LT(tick.reads, 10) << "sleeps out the wait instead of polling a dead port";
    EXPECT_EQ(byte, 7);
}

// Until count bytes written at the far side are in the port's input queue.
bool waitUntilQueued(int fd, int count)
{
    for (int waited = 0; waited < 5000; ++waited) {
        int queued = 0;
        if (ioctl(fd, FIONREAD, &queued) != 0)
            return false;
        if (queued >= count)
            return true;
        pollfd ready{fd, POLLIN, 0};
        poll(&ready, 1, 1);
    }
    return false;
}

// Exclusive use of the port is comport's, and its tests own it.
TEST(SerialLinkPort, OpensWithReaderLineSettingsAndEmptyQueues)
{
    Pty pty;
    ASSERT_EQ(write(pty.master, "stale", 5), 5);
    // The pty hands the bytes over a moment later: the flush at open must
    // find them already queued.
    ASSERT_TRUE(waitUntilQueued(pty.slave, 5));
    qarn::MonotonicTick tick;
    qarn::PosixLink link(tick);
    const qarn::Port port = link.OpenPort(9, 'n');
    ASSERT_NE(port, qarn::kNoPort);

    termios settings{};
    ASSERT_EQ(tcgetattr(port, &settings), 0);
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B38400));
    EXPECT_EQ(cfgetispeed(&settings), static_cast<speed_t>(B38400));
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL | INPCK), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);

    int queued = -1;
    ASSERT_EQ(ioctl(port, FIONREAD, &queued), 0);
    EXPECT_EQ(queued, 0) << "bytes from before the open are dropped";
    const std::uint8_t frame[] = {0x81, 0xB2, 0x00, 0x33};
    EXPECT_EQ(link.WriteBytes(port, frame, sizeof frame), 1);
    std::uint8_t got[4] = {};
    ASSERT_EQ(read(pty.master, got, 4), 4);
    EXPECT_EQ(std::memcmp(got, frame, 4), 0);
    EXPECT_NE(link.ClosePort(port), 0);
}

TEST(SerialLinkWrite, LineThatStopsDrainingFailsTheWriteAndTheExchange)
{
    Pty pty;
    qarn::MonotonicTick tick;
    qarn::PosixLink link(tick);
    const qarn::Port port = link.OpenPort(9, 'n');
    ASSERT_NE(port, qarn::kNoPort);
    ASSERT_TRUE(stopLine(pty.slave));

    const std::uint8_t frame[] = {0x81, 0xB2, 0x00, 0x33};
    EXPECT_EQ(link.WriteBytes(port, frame, sizeof frame), 0);
    EXPECT_FALSE(fcntl(port, F_GETFL) & O_NONBLOCK) << "the port blocks on reads as before";
    qarn::FrameExchange fx{link};
    EXPECT_EQ(qarn::Transact(fx, port, frame, 3), qarn::XR_NO_RESPONSE);

    // Once the line runs again, writes go through, and the far side's first
    // bytes are the new frame: nothing of the failed ones was left queued.
    ASSERT_TRUE(restartLine(pty.slave));
    EXPECT_EQ(link.WriteBytes(port, frame, sizeof frame), 1);
    std::uint8_t got[4] = {};
    ASSERT_EQ(read(pty.master, got, 4), 4);
    EXPECT_EQ(std::memcmp(got, frame, 4), 0);
    link.ClosePort(port);
}

TEST(SerialLinkPort, OnlyLowerCaseNMeansNoParity)
{
    // A pty keeps no parity setting, so the settings are checked as built.
    for (char selector : {'n', 'N', 'e', '\0'}) {
        termios settings{};
        settings.c_cflag = PARODD | CSTOPB | CRTSCTS;
        qarn::ReaderLineSettings(settings, selector);
        const tcflag_t expected = selector == 'n' ? 0 : PARENB;
        EXPECT_EQ(settings.c_cflag & (PARENB | PARODD | CSTOPB | CRTSCTS), expected) << selector;
        EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    }
}

} // namespace
