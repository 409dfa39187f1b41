#include "termios_mapping.h"

#include <algorithm>
#include <iterator>

namespace serwyn::posix {

namespace {

struct RateSpeed {
    std::uint32_t rate;
    speed_t speed;
};

constexpr RateSpeed kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

constexpr std::uint32_t kWaitForever = 0;
constexpr std::uint32_t kNoInterval = 0xFFFFFFFFu;

bool expressible(const platform::LineSettings &s)
{
    const bool xonXoff = s.outX || s.inX;
    return s.baudRate != 0 && s.byteSize >= 5 && s.byteSize <= 8 && s.parity <= platform::kParitySpace &&
           (s.stopBits == platform::kStopBitsOne || s.stopBits == platform::kStopBitsTwo) && !s.outxDsrFlow &&
           !s.dsrSensitivity && !s.nullStrip && s.dtrControl <= platform::kDtrControlEnable &&
           s.rtsControl <= platform::kRtsControlHandshake && !(xonXoff && s.xonChar == s.xoffChar);
}

tcflag_t sizeFlag(std::uint8_t byteSize)
{
    switch (byteSize) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

tcflag_t parityFlags(std::uint8_t parity)
{
    switch (parity) {
    case platform::kParityOdd: return PARENB | PARODD;
    case platform::kParityEven: return PARENB;
    case platform::kParityMark: return PARENB | CMSPAR | PARODD;
    case platform::kParitySpace: return PARENB | CMSPAR;
    default: return 0;
    }
}

// Milliseconds to VTIME's tenths of a second, at least one tenth.
cc_t tenths(std::uint32_t milliseconds)
{
    return static_cast<cc_t>(std::clamp<std::uint64_t>((milliseconds + 99ull) / 100, 1, 255));
}

} // namespace

bool speedForRate(std::uint32_t rate, speed_t &speed)
{
    auto found = std::find_if(std::begin(kSpeeds), std::end(kSpeeds), [rate](auto &e) { return e.rate == rate; });
    if (found == std::end(kSpeeds))
        return false;
    speed = found->speed;
    return true;
}

std::uint32_t rateForSpeed(speed_t speed)
{
    auto found = std::find_if(std::begin(kSpeeds), std::end(kSpeeds), [speed](auto &e) { return e.speed == speed; });
    return found == std::end(kSpeeds) ? 0 : found->rate;
}

bool toTermios(const platform::LineSettings &s, termios &t)
{
    if (!expressible(s))
        return false;
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL | sizeFlag(s.byteSize) | parityFlags(s.parity);
    if (s.stopBits == platform::kStopBitsTwo)
        t.c_cflag |= CSTOPB;
    // Linux has one switch for both directions of hardware handshake.
    if (s.outxCtsFlow || s.rtsControl == platform::kRtsControlHandshake)
        t.c_cflag |= CRTSCTS;
    if (s.parityCheck && s.parity != platform::kParityNone)
        t.c_iflag |= INPCK;
    if (s.outX)
        t.c_iflag |= IXON;
    if (s.inX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = s.xonChar;
    t.c_cc[VSTOP] = s.xoffChar;
    speed_t speed;
    if (speedForRate(s.baudRate, speed)) {
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
    }
    return true;
}

platform::LineSettings fromTermios(const termios &t)
{
    platform::LineSettings s{};
    s.baudRate = rateForSpeed(cfgetospeed(&t));
    s.binary = true;
    s.txContinueOnXoff = true;
    switch (t.c_cflag & CSIZE) {
    case CS5: s.byteSize = 5; break;
    case CS6: s.byteSize = 6; break;
    case CS7: s.byteSize = 7; break;
    default: s.byteSize = 8; break;
    }
    if (!(t.c_cflag & PARENB))
        s.parity = platform::kParityNone;
    else if (t.c_cflag & CMSPAR)
        s.parity = (t.c_cflag & PARODD) ? platform::kParityMark : platform::kParitySpace;
    else
        s.parity = (t.c_cflag & PARODD) ? platform::kParityOdd : platform::kParityEven;
    s.stopBits = (t.c_cflag & CSTOPB) ? platform::kStopBitsTwo : platform::kStopBitsOne;
    s.parityCheck = (t.c_iflag & INPCK) != 0;
    s.outxCtsFlow = (t.c_cflag & CRTSCTS) != 0;
    s.rtsControl = s.outxCtsFlow ? platform::kRtsControlHandshake : platform::kRtsControlEnable;
    s.dtrControl = platform::kDtrControlEnable;
    s.outX = (t.c_iflag & IXON) != 0;
    s.inX = (t.c_iflag & IXOFF) != 0;
    s.xonChar = t.c_cc[VSTART];
    s.xoffChar = t.c_cc[VSTOP];
    return s;
}

void timeoutsToTermios(const platform::Timeouts &limits, termios &t)
{
    const bool totalLimit = limits.readTotalMultiplier != 0 || limits.readTotalConstant != 0;
    if (limits.readInterval == kNoInterval && !totalLimit) {
        t.c_cc[VMIN] = 0;  // return at once with what has arrived
        t.c_cc[VTIME] = 0;
    } else if (limits.readInterval == kWaitForever && !totalLimit) {
        t.c_cc[VMIN] = 1;  // wait for the first byte
        t.c_cc[VTIME] = 0;
    } else if (totalLimit && (limits.readInterval == kWaitForever || limits.readInterval == kNoInterval)) {
        t.c_cc[VMIN] = 0;  // wait at most so long for the first byte
        t.c_cc[VTIME] = tenths(limits.readTotalConstant);
    } else {
        t.c_cc[VMIN] = 1;  // after the first byte, wait at most so long between bytes
        t.c_cc[VTIME] = tenths(limits.readInterval);
    }
}

platform::Timeouts timeoutsFromTermios(const termios &t)
{
    const std::uint32_t time = t.c_cc[VTIME] * 100u;
    if (t.c_cc[VMIN] == 0)
        return time == 0 ? platform::Timeouts{kNoInterval, 0, 0, 0, 0} : platform::Timeouts{0, 0, time, 0, 0};
    return platform::Timeouts{time, 0, 0, 0, 0};
}

} // namespace serwyn::posix
