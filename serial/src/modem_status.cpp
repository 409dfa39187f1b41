// Modem lines, line status, fixed answers and the last system error:
// SioDTR to SioWinError.
#include "port_table.h"

#include "serwyn.h"

using namespace serwyn;

namespace {

// Drives DTR or RTS by command S (set), C (clear) or R (read what the
// application last asked for).
int driveLine(int port, int cmd, std::uint8_t bit, platform::Escape set, platform::Escape clear)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    SioPortEntry &entry = library().ports[port];
    switch (lowByte(cmd)) {
    case 'S':
        entry.lineBits |= bit;
        return platform::escape(entry.handle, set) ? 1 : 0;
    case 'C':
        entry.lineBits &= static_cast<std::uint8_t>(~bit);
        return platform::escape(entry.handle, clear) ? 1 : 0;
    case 'R':
        return entry.lineBits & bit;
    default:
        return kBadCommand;
    }
}

// Reads one modem-status input; a status that cannot be read shows the line off.
int modemLine(int port, std::uint32_t bit)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    std::uint32_t status = 0;
    if (!platform::modemStatus(library().ports[port].handle, status))
        return 0;
    return static_cast<int>(status & bit);
}

} // namespace

extern "C" {

SERWYN_API int SERWYN_CALL SioDTR(int port, int cmd)
{
    return driveLine(port, cmd, kLineBitDtr, platform::Escape::SetDtr, platform::Escape::ClearDtr);
}

SERWYN_API int SERWYN_CALL SioRTS(int port, int cmd)
{
    return driveLine(port, cmd, kLineBitRts, platform::Escape::SetRts, platform::Escape::ClearRts);
}

SERWYN_API int SERWYN_CALL SioCTS(int port) { return modemLine(port, platform::kModemCts); }
SERWYN_API int SERWYN_CALL SioDSR(int port) { return modemLine(port, platform::kModemDsr); }
SERWYN_API int SERWYN_CALL SioRI(int port) { return modemLine(port, platform::kModemRing); }
SERWYN_API int SERWYN_CALL SioDCD(int port) { return modemLine(port, platform::kModemDcd); }

SERWYN_API int SERWYN_CALL SioBrkSig(int port, int cmd)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    platform::Handle handle = library().ports[port].handle;
    switch (lowByte(cmd)) {
    case 'A':
        return platform::setBreak(handle) ? 1 : 0;
    case 'C':
        return platform::clearBreak(handle) ? 1 : 0;
    case 'D':
        return 0;
    default:
        return kBadCommand;
    }
}

SERWYN_API int SERWYN_CALL SioStatus(int port, int mask)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    SioPortEntry &entry = library().ports[port];
    std::uint32_t errors = 0;
    platform::QueueStatus queues{};
    if (!platform::queryErrors(entry.handle, entry.device, errors, queues))
        errors = 0;
    return static_cast<int>(static_cast<std::uint32_t>(mask) & errors);
}

SERWYN_API int SERWYN_CALL SioInfo(int selector)
{
    switch (lowByte(selector)) {
    case 'V':
    case '3':
        return 34;
    case 'I':
        return 1;
    case '?':
        return 0;
    default:
        return -1;
    }
}

SERWYN_API int SERWYN_CALL SioDebug(int)
{
    return 0;
}

SERWYN_API int SERWYN_CALL SioWinError(char *buffer, int size)
{
    if (buffer != nullptr && size > 0)
        platform::errorText(library().lastOsError, buffer, static_cast<std::size_t>(size));
    return static_cast<int>(library().lastOsError);
}

} // extern "C"
