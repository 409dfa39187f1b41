// One disturbed reply makes an attempt fail; the request is sent again and
// the call still succeeds.
#include "api_fixture.h"
#include "stuck_line.h"

#include <pty.h>
#include <unistd.h>

namespace {

using readersim::Fault;

struct FaultCase {
    const char *name;
    Fault fault;
};

void PrintTo(const FaultCase &c, std::ostream *os)
{
    *os << c.name;
}

struct FaultRecoveryTest : ReaderApiTest, ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultRecoveryTest, NextAttemptGetsTheClock)
{
    openReader();
    const std::uint8_t set[7] = {126, 6, 15, 8, 30, 0, 1};
    ASSERT_EQ(QARNSetTime(handle, set), RC_OK);
    sim.forgetRequests();
    sim.queueFault({GetParam().fault, 0, 0, {}});
    std::uint8_t got[7] = {};
    ASSERT_EQ(QARNGetTime(handle, got), RC_OK);
    EXPECT_EQ(Bytes(got, got + 7), (Bytes{26, 6, 15, 8, 30, 0, 1}));
    const Bytes sent = commands();
    EXPECT_GE(sent.size(), 2u) << "the disturbed attempt is repeated";
    EXPECT_LE(sent.size(), 6u);
    EXPECT_EQ(sent, Bytes(sent.size(), 0xB2));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultRecoveryTest,
    ::testing::Values(FaultCase{"NoEcho", Fault::NoEcho}, FaultCase{"NoReply", Fault::NoReply},
                      FaultCase{"WrongStart", Fault::WrongStart},
                      FaultCase{"BadChecksum", Fault::BadChecksum},
                      FaultCase{"CutAfterStatus", Fault::CutAfterStatus},
                      FaultCase{"CutAfterLength", Fault::CutAfterLength},
                      FaultCase{"CutInPayload", Fault::CutInPayload},
                      FaultCase{"CutBeforeChecksum", Fault::CutBeforeChecksum}),
    [](const ::testing::TestParamInfo<FaultCase> &info) { return info.param.name; });

// How long a reply may take is the frame exchange's, tested there on a
// fake clock.
TEST_F(ReaderApiTest, UnexpectedStatusIsNotRetried)
{
    openReader();
    sim.queueFault({Fault::UnexpectedStatus, 0, 0x41, {}});
    std::uint8_t got[7];
    EXPECT_EQ(QARNGetTime(handle, got), RC_FAILED);
    EXPECT_EQ(commands(), Bytes{0xB2});
}

TEST(StuckLine, CallsReturnAFailureWhenTheLineTakesNoMoreBytes)
{
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    setenv("COM6", name, 1);
    ASSERT_EQ(QARNStartAPI(6), RC_OK);
    // The far side takes nothing more.
    ASSERT_TRUE(stopLine(slave));
    std::int32_t handle = -1;
    EXPECT_EQ(QARNOpenReader(&handle, 1), RC_FAILED);
    std::uint8_t clock[7] = {};
    EXPECT_EQ(TRQGetTime(handle, clock), RC_FAILED);
    QARNTerminateAPI();
    unsetenv("COM6");
    close(master);
    close(slave);
}

} // namespace
