// Every export of the 32-bit QARNAPI.dll, looked up by its decorated name and
// called through a pointer of the header's type, as a 32-bit application
// calls it: each must leave the caller's stack pointer where it was
// (stack_probe.h). A reader simulator on COM1 lets the start-up exports
// succeed instead of showing their message box; the reader operations are
// given a handle that is not the current one, so they send nothing.
#include "qarnapi.h"
#include "dll_export_check.h"

namespace {

constexpr std::int32_t kOtherHandle = 7;   // never the current handle (0 or 1)

class QarnapiStdcall : public stack_probe::DllExportCheck {
protected:
    QarnapiStdcall() : DllExportCheck("QARNAPI.dll") {}
};

TEST_F(QarnapiStdcall, EveryExportLeavesTheCallersStackPointerAsItWas)
{
    std::int32_t handle = -1;
    unsigned char buffer[255] = {};
    unsigned char length = 0;
    std::uint32_t a = 0, b = 0, c = 0;
    const unsigned char identification[6] = {1, 0, 0, 0, 0, 0};
    const unsigned char command[1] = {0x10};

    check<decltype(&StartAPI)>("_StartAPI@0");
    check<decltype(&TerminateAPI)>("_TerminateAPI@0");
    check<decltype(&QARNStartAPI)>("_QARNStartAPI@4", 1);
    check<decltype(&delay)>("_delay@4", 1u);
    check<decltype(&QARNOpenReader)>("_QARNOpenReader@8", &handle, 1);
    check<decltype(&TRQOpenReader)>("_TRQOpenReader@12", &handle, identification, 0);
    check<decltype(&QARNCloseReader)>("_QARNCloseReader@4", kOtherHandle);
    check<decltype(&QARNSetTime)>("_QARNSetTime@8", kOtherHandle, buffer);
    check<decltype(&QARNGetTime)>("_QARNGetTime@8", kOtherHandle, buffer);
    check<decltype(&QARNGetReaderInfo)>("_QARNGetReaderInfo@8", kOtherHandle, buffer);
    check<decltype(&QARNGetFileLen)>("_QARNGetFileLen@16", kOtherHandle, &a, &b, &c);
    check<decltype(&QARNSendFile)>("_QARNSendFile@24", kOtherHandle, 1, 1, 0, 0, buffer);
    check<decltype(&QARNGetLogData)>("_QARNGetLogData@12", kOtherHandle, buffer, &length);
    check<decltype(&QARNGetLogAck)>("_QARNGetLogAck@8", kOtherHandle, 0);
    check<decltype(&QARNSpecialCommand)>("_QARNSpecialCommand@20", kOtherHandle, command, 1, buffer,
                                         &length);
    check<decltype(&TRQCloseReader)>("_TRQCloseReader@4", kOtherHandle);
    check<decltype(&TRQSetTime)>("_TRQSetTime@8", kOtherHandle, buffer);
    check<decltype(&TRQGetTime)>("_TRQGetTime@8", kOtherHandle, buffer);
    check<decltype(&TRQGetInfoV1)>("_TRQGetInfoV1@8", kOtherHandle, buffer);
    check<decltype(&TRQSendFile)>("_TRQSendFile@24", kOtherHandle, 1, 1, 0, 0, buffer);
    check<decltype(&TRQGetLogEntry)>("_TRQGetLogEntry@12", kOtherHandle, buffer, &length);
    check<decltype(&TRQUserCommand)>("_TRQUserCommand@20", kOtherHandle, command, 1, buffer, &length);
    check<decltype(&QARNTerminateAPI)>("_QARNTerminateAPI@0");
    EXPECT_EQ(handle, 0) << "the simulated reader on COM1 did not answer the opens";
}

} // namespace
