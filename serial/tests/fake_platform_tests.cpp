// The port functions over a scripted serial layer: the set-up steps and
// their values, refusals, modem lines, line errors and I/O ports.
#include "fake_platform.h"
#include "port_table.h"
#include "serwyn.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using serwyn::platform::Escape;

namespace {

constexpr int kPort = 3;        // COM4
constexpr unsigned kCom = 4;
constexpr int kOtherPort = 5;   // COM6

std::string escapeCall(Escape e) { return "escape " + std::to_string(static_cast<unsigned>(e)); }

class FakePort : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::reset();
        serwyn::resetLibrary();
    }

    void open(int port = kPort, int inQueue = 1024)
    {
        ASSERT_EQ(SioReset(port, inQueue, 1024), 0);
        fake::clearCalls();
    }

    fake::Device &device(unsigned com = kCom) { return fake::device(com); }
    fake::World &world() { return fake::world(); }
};

TEST_F(FakePort, ResetRunsItsStepsAndWritesTheDefaults)
{
    fake::Device &d = device();
    d.settings.parityCheck = true;
    d.settings.errorChar = 0x55;
    d.settings.eofChar = 0x1A;
    d.settings.outxDsrFlow = true;
    d.settings.nullStrip = true;
    d.settings.baudRate = 300;
    d.timeouts = {50, 1, 2, 3, 4};

    ASSERT_EQ(SioReset(kPort, 1024, 2048), 0);
    // The steps whose values only the calls show; the rest by their effect below.
    const std::vector<std::string> wanted{"open 4", "setupQueues 1024 2048", escapeCall(Escape::ResetDevice),
                                          "setEventMask 65"};
    EXPECT_THAT(world().calls, ::testing::IsSupersetOf(wanted));
    const auto &s = d.settings;
    EXPECT_EQ(s.baudRate, 19200u);
    EXPECT_EQ(s.byteSize, 8);
    EXPECT_EQ(s.parity, 0);
    EXPECT_EQ(s.stopBits, 0);
    EXPECT_TRUE(s.binary);
    EXPECT_TRUE(s.txContinueOnXoff);
    EXPECT_FALSE(s.outxCtsFlow || s.outxDsrFlow || s.outX || s.inX || s.nullStrip || s.abortOnError);
    EXPECT_EQ(s.dtrControl, serwyn::platform::kDtrControlEnable);
    EXPECT_EQ(s.rtsControl, serwyn::platform::kRtsControlEnable);
    EXPECT_EQ(s.xonChar, 17);
    EXPECT_EQ(s.xoffChar, 19);
    EXPECT_TRUE(s.parityCheck) << "fields the library does not set keep what the device had";
    EXPECT_EQ(s.errorChar, 0x55);
    EXPECT_EQ(s.eofChar, 0x1A);
    EXPECT_EQ(d.timeouts.readInterval, 0xFFFFFFFFu);
    EXPECT_EQ(d.timeouts.readTotalConstant, 0u);
    EXPECT_TRUE(d.dtr && d.rts);
    EXPECT_EQ(SioDTR(kPort, 'R'), 0) << "lines raised by the defaults are not remembered as set";
    EXPECT_EQ(SioRTS(kPort, 'R'), 0);

    // The time limits found at open are put back on close.
    fake::clearCalls();
    EXPECT_EQ(SioDone(kPort), 1);
    EXPECT_THAT(world().calls, ElementsAre("setTimeouts 50", "close"));
    EXPECT_EQ(d.timeouts.readTotalMultiplier, 1u);
    EXPECT_EQ(d.timeouts.writeTotalConstant, 4u);
}

TEST_F(FakePort, FlowControlLimitsAreAQuarterOfTheReceiveQueueAtMost128)
{
    const std::pair<int, int> cases[] = {{1024, 128}, {513, 128}, {512, 128}, {256, 64},
                                         {100, 25},   {3, 0},     {-8, 65534}};
    for (auto [inQueue, limit] : cases) {
        ASSERT_EQ(SioReset(kPort, inQueue, 0), 0);
        EXPECT_EQ(device().settings.xonLim, limit) << inQueue;
        EXPECT_EQ(device().settings.xoffLim, limit) << inQueue;
        EXPECT_THAT(world().calls, ::testing::Contains("setupQueues " + std::to_string(inQueue) + " 0"));
        fake::clearCalls();
    }
}

TEST_F(FakePort, ResetFailingAfterTheOpenLeavesThePortOpenWithTheCodeSaved)
{
    const char *steps[] = {"getTimeouts", "getState", "setState", "escape", "setEventMask", "setTimeouts"};
    std::uint32_t code = 1000;
    for (const char *step : steps) {
        SCOPED_TRACE(step);
        world().refuse = {{step, ++code}};
        EXPECT_EQ(SioReset(kPort, 1024, 1024), SIO_OS_ERROR);
        EXPECT_EQ(SioWinError(nullptr, 0), static_cast<int>(code));
        EXPECT_EQ(fake::operations().back(), step) << "no step after the failed one";
        world().refuse.clear();
        EXPECT_EQ(SioRxQue(kPort), 0) << "the port counts as open";
        EXPECT_EQ(SioDone(kPort), 1);
        EXPECT_EQ(SioRxQue(kPort), SIO_NOT_OPEN);
        fake::clearCalls();
    }
    world().refuse = {{"setupQueues", 5}, {"queryErrors", 6}};
    EXPECT_EQ(SioReset(kPort, 1024, 1024), 0) << "these two refusals are ignored";
    EXPECT_EQ(SioWinError(nullptr, 0), static_cast<int>(code));
}

TEST_F(FakePort, ResetOfAnOpenPortClosesItFirst)
{
    open();
    device().timeouts = {};  // whatever the read-at-once limits became
    EXPECT_EQ(SioReset(kPort, 1024, 1024), 0);
    // The device is held exclusively: the old handle gets its limits back and
    // is closed before the device is opened again.
    const std::vector<std::string> ops = fake::operations();
    ASSERT_GE(ops.size(), 3u);
    EXPECT_THAT(std::vector<std::string>(ops.begin(), ops.begin() + 3), ElementsAre("setTimeouts", "close", "open"));
    EXPECT_EQ(std::count(ops.begin(), ops.end(), "open"), 1);
    EXPECT_EQ(SioRxQue(kPort), 0) << "the port is open again";
}

TEST_F(FakePort, RefusedCloseStillLeavesThePortClosed)
{
    open();
    world().refuse = {{"close", 6}};
    EXPECT_EQ(SioDone(kPort), 0);
    EXPECT_EQ(SioWinError(nullptr, 0), 0) << "a refusal reported by result does not touch the saved code";
    EXPECT_EQ(SioDone(kPort), SIO_NOT_OPEN);
}

TEST_F(FakePort, BaudTakesCodesZeroToNineAndAnyLargerNumberAsTheRateAndKeepsARefusedOne)
{
    open();
    const std::uint32_t table[] = {110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int code = 0; code < 10; ++code) {
        EXPECT_EQ(SioBaud(kPort, code), 1);
        EXPECT_EQ(device().settings.baudRate, table[code]);
    }
    const std::pair<int, std::uint32_t> rates[] = {{10, 10}, {57600, 57600}, {-1, 4294967295u}};
    for (auto [argument, rate] : rates) {
        EXPECT_EQ(SioBaud(kPort, argument), 1);
        EXPECT_EQ(device().settings.baudRate, rate);
    }
    EXPECT_THAT(fake::operations(), ::testing::Each(::testing::Eq("setState"))) << "no lines raised again";

    // A refused rate is reported by the result alone and stays for the next apply.
    world().refuse = {{"setState", 31}};
    EXPECT_EQ(SioBaud(kPort, 7), 0);
    EXPECT_EQ(SioWinError(nullptr, 0), 0);
    world().refuse.clear();
    EXPECT_EQ(SioFlow(kPort, '?'), 0);
    EXPECT_EQ(device().settings.baudRate, 38400u);
}

TEST_F(FakePort, ParmsTakeTheLowByteOfEachCode)
{
    open();
    EXPECT_EQ(SioParms(kPort, 0x102, 0x202, 0x307), 0);
    EXPECT_EQ(device().settings.parity, 2);
    EXPECT_EQ(device().settings.stopBits, 2);
    EXPECT_EQ(device().settings.byteSize, 7);
}

TEST_F(FakePort, FlowModesSetTheirFieldsAndUnknownModesApplyUnchanged)
{
    open();
    const auto &s = device().settings;
    EXPECT_EQ(SioFlow(kPort, 'H'), 0);
    EXPECT_TRUE(s.outxCtsFlow);
    EXPECT_EQ(s.rtsControl, serwyn::platform::kRtsControlHandshake);
    EXPECT_FALSE(s.outX || s.inX);
    EXPECT_EQ(SioFlow(kPort, 'S'), 0);
    EXPECT_FALSE(s.outxCtsFlow);
    EXPECT_EQ(s.rtsControl, serwyn::platform::kRtsControlDisable);
    EXPECT_TRUE(s.outX && s.inX);
    EXPECT_EQ(s.dtrControl, serwyn::platform::kDtrControlEnable);
    EXPECT_EQ(s.xonLim, 128);
    fake::clearCalls();
    for (int mode : {int('h'), int('X'), 0x100 + 'x'}) {
        EXPECT_EQ(SioFlow(kPort, mode), 0);
        EXPECT_TRUE(s.outX && s.inX);
    }
    EXPECT_THAT(fake::operations(), ElementsAre("setState", "setState", "setState"));
    EXPECT_EQ(SioFlow(kPort, 'N'), 0);
    EXPECT_FALSE(s.outxCtsFlow || s.outX || s.inX);
    EXPECT_EQ(s.rtsControl, serwyn::platform::kRtsControlDisable);
}

TEST_F(FakePort, NewSettingsRaiseTheLinesTheApplicationSetAgain)
{
    open();
    EXPECT_EQ(SioDTR(kPort, 'S'), 1);
    fake::clearCalls();
    EXPECT_EQ(SioFlow(kPort, 'N'), 0);
    EXPECT_THAT(world().calls, ElementsAre("setState", escapeCall(Escape::SetDtr)));
    EXPECT_TRUE(device().dtr);
    EXPECT_FALSE(device().rts) << "RTS control is disabled and RTS was not set by the application";

    EXPECT_EQ(SioRTS(kPort, 'S'), 1);
    fake::clearCalls();
    EXPECT_EQ(SioParms(kPort, 0, 0, 8), 0);
    EXPECT_THAT(world().calls, ElementsAre("setState", escapeCall(Escape::SetDtr), escapeCall(Escape::SetRts)));
    EXPECT_TRUE(device().rts);

    // Refused settings raise nothing, and are not reported.
    world().refuse = {{"setState", 9}};
    fake::clearCalls();
    EXPECT_EQ(SioFlow(kPort, 'H'), 0);
    EXPECT_THAT(fake::operations(), ElementsAre("setState"));
    EXPECT_EQ(SioWinError(nullptr, 0), 0);
}

TEST_F(FakePort, DtrAndRtsRememberWhatTheApplicationAskedEvenWhenRefused)
{
    open();
    EXPECT_EQ(SioDTR(kPort, 'S'), 1);
    EXPECT_EQ(SioDTR(kPort, 'R'), 1);
    EXPECT_EQ(SioRTS(kPort, 'R'), 0);
    EXPECT_EQ(SioRTS(kPort, 0x100 + 'S'), 1) << "only the low byte counts";
    EXPECT_EQ(SioRTS(kPort, 'R'), 2);
    EXPECT_TRUE(device().dtr && device().rts);
    EXPECT_EQ(SioDTR(kPort, 'C'), 1);
    EXPECT_FALSE(device().dtr);
    EXPECT_EQ(SioDTR(kPort, 'R'), 0);
    EXPECT_EQ(SioRTS(kPort, 'R'), 2);
    EXPECT_EQ(SioRTS(kPort, 'C'), 1);
    EXPECT_EQ(SioRTS(kPort, 'R'), 0);

    fake::clearCalls();
    EXPECT_EQ(SioDTR(kPort, 's'), SIO_BAD_CMD);
    EXPECT_EQ(SioRTS(kPort, 'X'), SIO_BAD_CMD);
    EXPECT_EQ(SioDTR(kPort, 'R'), 0);
    EXPECT_THAT(world().calls, IsEmpty());

    world().refuse = {{"escape", 21}};
    EXPECT_EQ(SioDTR(kPort, 'S'), 0);
    EXPECT_EQ(SioDTR(kPort, 'R'), 1);
    EXPECT_FALSE(device().dtr);
    EXPECT_EQ(SioWinError(nullptr, 0), 0);

    // The remembered lines survive closing and opening again.
    world().refuse.clear();
    EXPECT_EQ(SioDone(kPort), 1);
    ASSERT_EQ(SioReset(kPort, 1024, 1024), 0);
    EXPECT_EQ(SioDTR(kPort, 'R'), 1);
}

TEST_F(FakePort, BreakIsAssertedAndClearedOnRequest)
{
    open();
    EXPECT_EQ(SioBrkSig(kPort, 'A'), 1);
    EXPECT_TRUE(device().breakOn);
    EXPECT_EQ(SioBrkSig(kPort, 'D'), 0);
    EXPECT_TRUE(device().breakOn) << "D leaves the line as it was";
    EXPECT_EQ(SioBrkSig(kPort, 'C'), 1);
    EXPECT_FALSE(device().breakOn);
    EXPECT_EQ(SioBrkSig(kPort, 'B'), SIO_BAD_CMD);
    EXPECT_EQ(SioBrkSig(kPort, 'a'), SIO_BAD_CMD);
    world().refuse = {{"setBreak", 1}, {"clearBreak", 1}};
    EXPECT_EQ(SioBrkSig(kPort, 'A'), 0);
    EXPECT_EQ(SioBrkSig(kPort, 'C'), 0);
    EXPECT_FALSE(device().breakOn);
}

TEST_F(FakePort, ModemInputsAnswerWithTheirOwnBit)
{
    open();
    device().modemInputs = 0x10 | 0x80;
    EXPECT_EQ(SioCTS(kPort), 16);
    EXPECT_EQ(SioDSR(kPort), 0);
    EXPECT_EQ(SioRI(kPort), 0);
    EXPECT_EQ(SioDCD(kPort), 128);
    device().modemInputs = 0xFFFF;
    EXPECT_EQ(SioCTS(kPort), 16);
    EXPECT_EQ(SioDSR(kPort), 32);
    EXPECT_EQ(SioRI(kPort), 64);
    EXPECT_EQ(SioDCD(kPort), 128);
    world().refuse = {{"modemStatus", 5}};
    EXPECT_EQ(SioCTS(kPort), 0) << "a status that cannot be read shows the line off";
    EXPECT_EQ(SioDCD(kPort), 0);
}

TEST_F(FakePort, LineErrorsAreReportedOnceAndConsumedByQueueQueries)
{
    open();
    constexpr int kParity = SIO_CE_RXPARITY, kFrame = SIO_CE_FRAME;
    device().pendingErrors = kParity | kFrame;
    EXPECT_EQ(SioStatus(kPort, 0), 0);
    EXPECT_EQ(SioStatus(kPort, -1), 0) << "mask 0 cleared them all the same";

    device().pendingErrors = kParity | kFrame;
    EXPECT_EQ(SioStatus(kPort, kFrame | SIO_CE_BREAK), kFrame);
    EXPECT_EQ(SioStatus(kPort, -1), 0);

    for (auto query : {&SioRxQue, &SioTxQue, &SioGetc}) {
        device().pendingErrors = kParity;
        query(kPort);
        EXPECT_EQ(SioStatus(kPort, -1), 0);
    }

    device().pendingErrors = kParity;
    world().refuse = {{"queryErrors", 3}};
    EXPECT_EQ(SioStatus(kPort, -1), 0);
    world().refuse.clear();
    EXPECT_EQ(SioStatus(kPort, -1), kParity) << "a failed query clears nothing";
}

TEST_F(FakePort, QueueCountsAndRefusedQueriesFindNothing)
{
    open();
    device().received = {1, 2, 3};
    device().outQueue = 7;
    EXPECT_EQ(SioRxQue(kPort), 3);
    EXPECT_EQ(SioTxQue(kPort), 7);
    EXPECT_EQ(SioTxClear(kPort), 0);
    EXPECT_EQ(fake::world().calls.back(), "purge 5") << "pending output is discarded";
    EXPECT_EQ(SioTxQue(kPort), 0);

    world().refuse = {{"queryErrors", 8}, {"purge", 8}};
    EXPECT_EQ(SioRxQue(kPort), 0);
    EXPECT_EQ(SioTxQue(kPort), 0);
    EXPECT_EQ(SioTxClear(kPort), 0);
    EXPECT_EQ(SioWinError(nullptr, 0), 0);
}

TEST_F(FakePort, RefusedReadsAndWritesSaveTheSystemCode)
{
    open();
    world().refuse = {{"write", 1117}};
    EXPECT_EQ(SioPutc(kPort, 'x'), SIO_OS_ERROR);
    EXPECT_EQ(SioWinError(nullptr, 0), 1117);
    world().refuse = {{"write", 1118}};
    EXPECT_EQ(SioPuts(kPort, "abc", 3), SIO_OS_ERROR);
    EXPECT_EQ(SioWinError(nullptr, 0), 1118);

    device().received = {'a', 'b'};
    world().refuse = {{"takeByte", 995}};
    EXPECT_EQ(SioGetc(kPort), SIO_OS_ERROR);
    EXPECT_EQ(SioWinError(nullptr, 0), 995);
    fake::clearCalls();
    EXPECT_EQ(SioRxClear(kPort), 0) << "a failed read ends the draining";
    EXPECT_THAT(fake::operations(), ElementsAre("takeByte"));
    world().refuse = {{"read", 996}};
    char buffer[8];
    EXPECT_EQ(SioGets(kPort, buffer, 8), SIO_OS_ERROR);
    EXPECT_EQ(SioWinError(nullptr, 0), 996);

    world().refuse.clear();
    world().errorCode = 0;
    EXPECT_EQ(SioPuts(kPort, "abc", 3), 3);
    EXPECT_EQ(device().sent, "abc");
    EXPECT_EQ(SioWinError(nullptr, 0), 996) << "a later success leaves the saved code alone";
}

TEST_F(FakePort, LengthsThatWouldOverrunTheBufferAreRefused)
{
    open();
    device().received = {'a'};
    char buffer[4] = {'-', '-', '-', '-'};
    EXPECT_EQ(SioPuts(kPort, "abc", -1), SIO_OS_ERROR);
    EXPECT_EQ(SioWinError(nullptr, 0), static_cast<int>(fake::kInvalidArgument));
    EXPECT_EQ(SioGets(kPort, buffer, -5), SIO_OS_ERROR);
    EXPECT_EQ(SioGets(kPort, nullptr, 4), SIO_OS_ERROR);
    EXPECT_EQ(SioPuts(kPort, nullptr, 4), SIO_OS_ERROR);
    EXPECT_THAT(fake::operations(), IsEmpty());
    EXPECT_EQ(SioPuts(kPort, nullptr, 0), 0);
    EXPECT_EQ(buffer[0], '-');
}

TEST_F(FakePort, IoPortAddressIsPortPlusRegisterInSixteenBits)
{
    open(kPort);
    world().ioValue = 0xA5;
    EXPECT_EQ(SioRead(kPort, 0x3F5), 0xA5);
    EXPECT_EQ(world().ioAddress, 0x3F8);
    EXPECT_EQ(SioRead(kPort, 0xFFFF), 0xA5);
    EXPECT_EQ(world().ioAddress, 2) << "the sum wraps at 16 bits";
    EXPECT_EQ(SioRead(kPort, INT_MAX - 1), 0xA5) << "a sum past the int range wraps too";
    EXPECT_EQ(world().ioAddress, 1);
    world().refuse = {{"readIoPort", 12}};
    EXPECT_EQ(SioRead(kPort, 0), SIO_OS_ERROR);
    EXPECT_EQ(SioWinError(nullptr, 0), 12);
}

TEST_F(FakePort, WinErrorWritesTheTextWithinTheRoomGivenAndKeepsTheCode)
{
    EXPECT_EQ(SioWinError(nullptr, 100), 0) << "nothing has failed yet";
    world().refuse = {{"open", 1234}};
    ASSERT_EQ(SioReset(kPort, 0, 0), SIO_OS_ERROR);

    char text[64];
    EXPECT_EQ(SioWinError(text, sizeof text), 1234);
    EXPECT_STREQ(text, "system error 1234");
    char small[8];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(SioWinError(small, 6), 1234);
    EXPECT_STREQ(small, "syste");
    EXPECT_EQ(small[6], '#') << "nothing past the room given";
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(SioWinError(small, 0), 1234);
    EXPECT_EQ(SioWinError(small, -3), 1234);
    EXPECT_EQ(small[0], '#');
    EXPECT_EQ(SioWinError(nullptr, 0), 1234) << "reading the code does not clear it";
}

TEST_F(FakePort, FailedPortChecksCallNothingAndChangeNothing)
{
    open(kPort);
    ASSERT_EQ(SioUnGetc(kPort, 'q'), 0);
    ASSERT_EQ(SioDTR(kPort, 'S'), 1);
    fake::clearCalls();
    char buffer[4];
    int (*const calls[])(int) = {
        [](int p) { return SioDone(p); },          [](int p) { return SioBaud(p, 5); },
        [](int p) { return SioParms(p, 0, 0, 8); }, [](int p) { return SioFlow(p, 'N'); },
        [](int p) { return SioPutc(p, 'a'); },      [](int p) { return SioPuts(p, "a", 1); },
        [](int p) { return SioGetc(p); },           [](int p) { return SioGets(p, nullptr, 0); },
        [](int p) { return SioUnGetc(p, 'x'); },    [](int p) { return SioRxClear(p); },
        [](int p) { return SioTxClear(p); },        [](int p) { return SioTxQue(p); },
        [](int p) { return SioRxQue(p); },          [](int p) { return SioRead(p, 0); },
        [](int p) { return SioDTR(p, 'C'); },       [](int p) { return SioRTS(p, 'S'); },
        [](int p) { return SioCTS(p); },            [](int p) { return SioDSR(p); },
        [](int p) { return SioRI(p); },             [](int p) { return SioDCD(p); },
        [](int p) { return SioBrkSig(p, 'A'); },    [](int p) { return SioStatus(p, -1); },
    };
    for (auto call : calls) {
        for (int port : {-1, 16, 0x10000 + kPort})
            EXPECT_EQ(call(port), SIO_BAD_PORT) << port;
        EXPECT_EQ(call(kOtherPort), SIO_NOT_OPEN);
    }
    EXPECT_EQ(SioReset(16, 0, 0), SIO_BAD_PORT);
    EXPECT_EQ(SioReset(-1, 0, 0), SIO_BAD_PORT);
    EXPECT_EQ(SioGets(kOtherPort, buffer, 4), SIO_NOT_OPEN);
    EXPECT_THAT(world().calls, IsEmpty());
    EXPECT_EQ(SioGetc(kPort), 'q');
    EXPECT_EQ(SioDTR(kPort, 'R'), 1);
}

TEST(FixedAnswers, InfoAndDebug)
{
    EXPECT_EQ(SioInfo('V'), 34);
    EXPECT_EQ(SioInfo('3'), 34);
    EXPECT_EQ(SioInfo('I'), 1);
    EXPECT_EQ(SioInfo('?'), 0);
    EXPECT_EQ(SioInfo('v'), -1);
    EXPECT_EQ(SioInfo(0x156), 34) << "only the low byte counts";
    for (int value : {0, 1, -1, 0x7FFFFFFF})
        EXPECT_EQ(SioDebug(value), 0);
}

} // namespace
