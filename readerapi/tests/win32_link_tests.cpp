// The Win32 link and platform where no port is needed: a COM port that is
// not there, the operator notice, the exclusive open, and the tick-based wait.
#include "qarnapi.h"
#include "reader_session.h"
#include "win32_link.h"
#include "win32_platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Notice {
    int shown = 0;
    HWND owner = reinterpret_cast<HWND>(1);
    std::string text, caption;
    UINT type = 0;
};
Notice notice;

int WINAPI recordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    ++notice.shown;
    notice.owner = owner;
    notice.text = text;
    notice.caption = caption;
    notice.type = type;
    return IDOK;
}

struct Win32LinkTest : ::testing::Test {
    qarn::SystemTick tick;
    qarn::Win32Link link{tick};
    qarn::MessageBoxFunction saved = qarn::showMessageBox;

    void SetUp() override
    {
        notice = Notice{};
        qarn::showMessageBox = recordMessageBox;
    }
    void TearDown() override { qarn::showMessageBox = saved; }
};

// No device answers to this number in the test prefix.
constexpr std::uint16_t kMissingPort = 250;

TEST_F(Win32LinkTest, MissingPortFailsStartUpWithTheModalNotice)
{
    ASSERT_EQ(link.OpenPort(kMissingPort, 'n'), qarn::kNoPort);

    qarn::ReaderSession session(link);
    EXPECT_EQ(qarn::StartApi(session, kMissingPort), RC_PORT_FAILED);
    EXPECT_EQ(session.port, qarn::kNoPort);
    EXPECT_EQ(notice.shown, 1);
    EXPECT_EQ(notice.owner, nullptr);
    EXPECT_EQ(notice.text, "StartAPI FASLE!");
    EXPECT_EQ(notice.caption, "VELMO");
    EXPECT_EQ(notice.type, static_cast<UINT>(MB_OK));
}

TEST_F(Win32LinkTest, DelayEndsOnceTheTickPassesItsEnd)
{
    for (std::uint32_t ms : {0u, 1u, 20u}) {
        const std::uint32_t start = GetTickCount();
        const std::uint32_t end = link.delay(ms);
        EXPECT_GT(end - start, ms);
    }
}

// Wine does not enforce share modes on COM ports (docs/windows.md), but does
// on files: the port's open is checked here on a file.
TEST(Win32ExclusiveOpen, HolderSharesWithNoOneAndClosingReleases)
{
    char directory[MAX_PATH], path[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof directory, directory), 0u);
    ASSERT_NE(GetTempFileNameA(directory, "qrn", 0, path), 0u);
    HANDLE holder = qarn::OpenExclusive(path);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE) << GetLastError();

    EXPECT_EQ(qarn::OpenExclusive(path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    HANDLE reader = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(reader, INVALID_HANDLE_VALUE) << "not even for reading";

    EXPECT_TRUE(CloseHandle(holder));
    holder = qarn::OpenExclusive(path);
    EXPECT_NE(holder, INVALID_HANDLE_VALUE) << "closing released the file";
    CloseHandle(holder);
    DeleteFileA(path);
}

TEST(Win32LineSettings, ReaderLineKeepsWhatTheTableDoesNotName)
{
    DCB dcb{};
    dcb.fDummy2 = 0x1ABCD;
    dcb.wReserved = 7;
    dcb.wReserved1 = 9;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fOutxCtsFlow = 1;
    qarn::ReaderLineSettings(dcb, 'N');
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.Parity, EVENPARITY) << "only lower-case n selects no parity";
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fDummy2, 0x1ABCDu);
    EXPECT_EQ(dcb.wReserved, 7);
    EXPECT_EQ(dcb.wReserved1, 9);
    qarn::ReaderLineSettings(dcb, 'n');
    EXPECT_EQ(dcb.Parity, NOPARITY);
}

TEST(Win32Timeouts, ReadWaitsAreValidFirstByteWaits)
{
    // Both MAXDWORD and a constant strictly between 0 and MAXDWORD: any
    // other constant turns the read into "return at once" or "wait forever".
    for (std::uint32_t wait : {0u, 1u, 500u, 0xFFFFFFFFu}) {
        const COMMTIMEOUTS t = qarn::ReaderTimeouts(wait);
        EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
        EXPECT_EQ(t.ReadTotalTimeoutMultiplier, MAXDWORD);
        EXPECT_GT(t.ReadTotalTimeoutConstant, 0u) << wait;
        EXPECT_LT(t.ReadTotalTimeoutConstant, MAXDWORD) << wait;
        EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 1u);
        EXPECT_EQ(t.WriteTotalTimeoutConstant, 100u);
    }
}

} // namespace
