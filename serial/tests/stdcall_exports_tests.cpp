// Every export of the 32-bit serwyn.dll, looked up by its plain name and
// called through a pointer of the header's type, as a 32-bit application
// calls it: each must leave the caller's stack pointer where it was
// (stack_probe.h). Port -1 makes every port function return at once.
#include "serwyn.h"
#include "dll_export_check.h"

namespace {

constexpr int kNoSuchPort = -1;

class SerwynStdcall : public stack_probe::DllExportCheck {
protected:
    SerwynStdcall() : DllExportCheck("serwyn.dll") {}
};

TEST_F(SerwynStdcall, EveryExportLeavesTheCallersStackPointerAsItWas)
{
    char buffer[16] = {};
    const int p = kNoSuchPort;
    check<decltype(&SioReset)>("SioReset", p, 1024, 1024);
    check<decltype(&SioDone)>("SioDone", p);
    check<decltype(&SioBaud)>("SioBaud", p, 5);
    check<decltype(&SioParms)>("SioParms", p, 'N', 0, 3);
    check<decltype(&SioFlow)>("SioFlow", p, 'N');
    check<decltype(&SioPutc)>("SioPutc", p, 'x');
    check<decltype(&SioPuts)>("SioPuts", p, buffer, 1);
    check<decltype(&SioGetc)>("SioGetc", p);
    check<decltype(&SioGets)>("SioGets", p, buffer, 1);
    check<decltype(&SioUnGetc)>("SioUnGetc", p, 'x');
    check<decltype(&SioRxClear)>("SioRxClear", p);
    check<decltype(&SioTxClear)>("SioTxClear", p);
    check<decltype(&SioTxQue)>("SioTxQue", p);
    check<decltype(&SioRxQue)>("SioRxQue", p);
    check<decltype(&SioRead)>("SioRead", p, 0);
    check<decltype(&SioDTR)>("SioDTR", p, 'S');
    check<decltype(&SioRTS)>("SioRTS", p, 'S');
    check<decltype(&SioCTS)>("SioCTS", p);
    check<decltype(&SioDSR)>("SioDSR", p);
    check<decltype(&SioRI)>("SioRI", p);
    check<decltype(&SioDCD)>("SioDCD", p);
    check<decltype(&SioBrkSig)>("SioBrkSig", p, 'A');
    check<decltype(&SioStatus)>("SioStatus", p, 0xFFFF);
    check<decltype(&SioInfo)>("SioInfo", 'V');
    check<decltype(&SioDebug)>("SioDebug", 0);
    check<decltype(&SioWinError)>("SioWinError", buffer, static_cast<int>(sizeof buffer));
}

// The probe's own control: a caller that types a stdcall export with
// arguments as cdecl is left with the arguments' bytes removed twice.
TEST_F(SerwynStdcall, ACallTypedCdeclIsReported)
{
    const FARPROC baud = GetProcAddress(GetModuleHandleA("serwyn.dll"), "SioBaud");
    ASSERT_NE(baud, nullptr);
    using CdeclBaud = int(__cdecl *)(int, int);
    EXPECT_EQ(stack_probe::stackShiftOfCall<CdeclBaud>(reinterpret_cast<void *>(baud), kNoSuchPort, 5), 8);
}

} // namespace
