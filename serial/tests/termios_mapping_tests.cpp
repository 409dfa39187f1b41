// The translation of line settings and time limits to termios, for what a
// pseudo-terminal does not keep (data bits, the parity-enable flag).
#include "posix/termios_mapping.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using serwyn::platform::LineSettings;
using serwyn::platform::Timeouts;
using namespace serwyn::posix;

LineSettings defaults()
{
    LineSettings s{};
    s.baudRate = 19200;
    s.binary = true;
    s.byteSize = 8;
    s.dtrControl = serwyn::platform::kDtrControlEnable;
    s.rtsControl = serwyn::platform::kRtsControlEnable;
    s.xonChar = 17;
    s.xoffChar = 19;
    return s;
}

termios cooked()
{
    termios t{};
    t.c_iflag = ICRNL | IXON | BRKINT | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_cflag = CS7 | PARENB | HUPCL;
    cfsetospeed(&t, B38400);
    return t;
}

TEST(TermiosMapping, DataBitsParityAndStopBits)
{
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    for (std::uint8_t bits = 5; bits <= 8; ++bits) {
        LineSettings s = defaults();
        s.byteSize = bits;
        termios t = cooked();
        ASSERT_TRUE(toTermios(s, t));
        EXPECT_EQ(t.c_cflag & CSIZE, sizes[bits - 5]);
        EXPECT_EQ(fromTermios(t).byteSize, bits);
    }
    const tcflag_t parity[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};
    for (std::uint8_t code = 0; code <= 4; ++code) {
        for (std::uint8_t stop : {0, 2}) {
            LineSettings s = defaults();
            s.parity = code;
            s.stopBits = stop;
            termios t = cooked();
            ASSERT_TRUE(toTermios(s, t));
            EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), parity[code]) << int(code);
            EXPECT_EQ((t.c_cflag & CSTOPB) != 0, stop == 2);
            LineSettings back = fromTermios(t);
            EXPECT_EQ(back.parity, code);
            EXPECT_EQ(back.stopBits, stop);
        }
    }
}

TEST(TermiosMapping, KeepsWhatTheSettingsDoNotCover)
{
    LineSettings s = defaults();
    s.baudRate = 10;
    termios t = cooked();
    ASSERT_TRUE(toTermios(s, t));
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_TRUE(t.c_cflag & HUPCL) << "flags the settings do not cover are left alone";
    EXPECT_EQ(cfgetospeed(&t), B38400) << "a rate without a constant is set apart";
}

TEST(TermiosMapping, ParityCheckingOnlyWithParity)
{
    LineSettings s = defaults();
    s.parityCheck = true;
    termios t = cooked();
    ASSERT_TRUE(toTermios(s, t));
    EXPECT_FALSE(t.c_iflag & INPCK);
    s.parity = serwyn::platform::kParityEven;
    ASSERT_TRUE(toTermios(s, t));
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_TRUE(fromTermios(t).parityCheck) << "kept from the device by SioReset";
}

TEST(TermiosMapping, RefusesWhatTermiosCannotExpressAndChangesNothing)
{
    auto refused = [](void (*change)(LineSettings &)) {
        LineSettings s = defaults();
        change(s);
        termios t = cooked(), before = cooked();
        if (toTermios(s, t))
            return false;
        EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0);
        return true;
    };
    EXPECT_TRUE(refused([](LineSettings &s) { s.parity = 7; }));
    EXPECT_TRUE(refused([](LineSettings &s) { s.parity = 5; }));
    EXPECT_TRUE(refused([](LineSettings &s) { s.byteSize = 9; }));
    EXPECT_TRUE(refused([](LineSettings &s) { s.byteSize = 4; }));
    EXPECT_TRUE(refused([](LineSettings &s) { s.stopBits = 1; }));
    EXPECT_TRUE(refused([](LineSettings &s) { s.baudRate = 0; }));
    EXPECT_TRUE(refused([](LineSettings &s) { s.outxDsrFlow = true; }));
    EXPECT_TRUE(refused([](LineSettings &s) { s.dtrControl = 2; }));
    EXPECT_TRUE(refused([](LineSettings &s) { s.rtsControl = 3; }));
    EXPECT_TRUE(refused([](LineSettings &s) { s.outX = true, s.xonChar = s.xoffChar = 17; }));
    EXPECT_FALSE(refused([](LineSettings &s) { s.xonChar = s.xoffChar = 17; })) << "equal characters unused";
}

TEST(TermiosMapping, TimeLimitsAsMinAndTime)
{
    struct Case {
        Timeouts limits;
        cc_t min, time;
    } cases[] = {
        {{0xFFFFFFFFu, 0, 0, 0, 0}, 0, 0},  // return at once
        {{0, 0, 0, 0, 0}, 1, 0},            // wait for data
        {{0, 0, 700, 0, 0}, 0, 7},          // total limit
        {{300, 0, 0, 0, 0}, 1, 3},          // limit between bytes
        {{150, 0, 0, 0, 0}, 1, 2},          // rounded up to tenths
        {{1, 0, 0, 0, 0}, 1, 1},
        {{0, 0, 999999, 0, 0}, 0, 255},     // the longest termios keeps
        {{0xFFFFFFFFu, 0xFFFFFFFFu, 500, 0, 0}, 0, 5},
    };
    for (const Case &c : cases) {
        termios t{};
        timeoutsToTermios(c.limits, t);
        EXPECT_EQ(t.c_cc[VMIN], c.min) << c.limits.readInterval << "/" << c.limits.readTotalConstant;
        EXPECT_EQ(t.c_cc[VTIME], c.time) << c.limits.readInterval << "/" << c.limits.readTotalConstant;
        // What is read back from the line gives the same line again.
        termios again{};
        timeoutsToTermios(timeoutsFromTermios(t), again);
        EXPECT_EQ(again.c_cc[VMIN], c.min);
        EXPECT_EQ(again.c_cc[VTIME], c.time);
    }
}

} // namespace
