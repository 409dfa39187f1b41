// Opening, line setup and closing of ports: SioReset, SioDone, SioBaud,
// SioParms, SioFlow.
#include "port_table.h"

#include "serwyn.h"

#include <iterator>

namespace serwyn {

namespace {

LibraryState state;

// Reads return at once with what has arrived; writes have no time limit.
constexpr platform::Timeouts kReadAtOnce{0xFFFFFFFFu, 0, 0, 0, 0};

constexpr std::uint32_t kBaudRates[] = {110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

void setDefaults(platform::LineSettings &s, int inQueue)
{
    s.baudRate = 19200;
    s.byteSize = 8;
    s.parity = platform::kParityNone;
    s.stopBits = platform::kStopBitsOne;
    s.binary = true;
    s.outxCtsFlow = false;
    s.outxDsrFlow = false;
    s.dtrControl = platform::kDtrControlEnable;
    s.dsrSensitivity = false;
    s.txContinueOnXoff = true;
    s.outX = false;
    s.inX = false;
    s.nullStrip = false;
    s.rtsControl = platform::kRtsControlEnable;
    s.abortOnError = false;
    s.xonChar = 0x11;
    s.xoffChar = 0x13;
    // Flow-control thresholds: a quarter of the receive buffer, at most 128.
    auto limit = static_cast<std::uint16_t>(inQueue > 512 ? 128 : inQueue / 4);
    s.xonLim = limit;
    s.xoffLim = limit;
}

// Puts back the time limits found at open and closes the device. The entry
// reads as not open afterwards, even when the close is refused.
bool closeEntry(SioPortEntry &entry)
{
    platform::setTimeouts(entry.handle, entry.savedTimeouts);
    platform::Handle handle = entry.handle;
    entry.handle = platform::kInvalidHandle;
    return platform::close(handle);
}

} // namespace

LibraryState &library() { return state; }

void resetLibrary() { state = LibraryState{}; }

int checkPort(int port)
{
    return port >= 0 && port < kPortCount ? kOk : kBadPort;
}

int checkOpenPort(int port)
{
    if (checkPort(port) != kOk)
        return kBadPort;
    return state.ports[port].handle == platform::kInvalidHandle ? kNotOpen : kOk;
}

int failWithOsError()
{
    state.lastOsError = platform::lastError();
    return kOsError;
}

int failWithInvalidArgument()
{
    state.lastOsError = platform::invalidArgumentError();
    return kOsError;
}

void applySettingsAndLines(SioPortEntry &entry)
{
    if (!platform::setState(entry.handle, entry.settings))
        return;
    if (entry.lineBits & kLineBitDtr)
        platform::escape(entry.handle, platform::Escape::SetDtr);
    if (entry.lineBits & kLineBitRts)
        platform::escape(entry.handle, platform::Escape::SetRts);
}

} // namespace serwyn

using namespace serwyn;

extern "C" {

SERWYN_API int SERWYN_CALL SioReset(int port, int inQueue, int outQueue)
{
    if (checkPort(port) != kOk)
        return kBadPort;
    SioPortEntry &entry = library().ports[port];
    // An open port is closed first: opening it again over itself would be
    // refused as a second holder and would leave the first handle behind.
    if (entry.handle != platform::kInvalidHandle)
        closeEntry(entry);

    entry.handle = platform::open(static_cast<unsigned>(port) + 1, entry.device);
    if (entry.handle == platform::kInvalidHandle)
        return failWithOsError();

    // A set-up step that fails leaves the port open for SioDone to close.
    if (!platform::getTimeouts(entry.handle, entry.savedTimeouts))
        return failWithOsError();
    if (!platform::getState(entry.handle, entry.settings))
        return failWithOsError();
    setDefaults(entry.settings, inQueue);
    if (!platform::setState(entry.handle, entry.settings))
        return failWithOsError();
    platform::setupQueues(entry.handle, inQueue, outQueue);
    if (!platform::escape(entry.handle, platform::Escape::ResetDevice))
        return failWithOsError();
    std::uint32_t errors = 0;
    platform::QueueStatus queues{};
    platform::queryErrors(entry.handle, entry.device, errors, queues);
    if (!platform::setEventMask(entry.handle, platform::kEventRxChar | platform::kEventBreak))
        return failWithOsError();
    if (!platform::setTimeouts(entry.handle, kReadAtOnce))
        return failWithOsError();
    return kOk;
}

SERWYN_API int SERWYN_CALL SioDone(int port)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    return closeEntry(library().ports[port]) ? 1 : 0;
}

SERWYN_API int SERWYN_CALL SioBaud(int port, int baud)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    SioPortEntry &entry = library().ports[port];
    // Codes 0 to 9 pick from the table; anything larger is the rate itself.
    auto value = static_cast<std::uint32_t>(baud);
    entry.settings.baudRate = value < std::size(kBaudRates) ? kBaudRates[value] : value;
    return platform::setState(entry.handle, entry.settings) ? 1 : 0;
}

SERWYN_API int SERWYN_CALL SioParms(int port, int parity, int stopBits, int dataBits)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    SioPortEntry &entry = library().ports[port];
    entry.settings.parity = lowByte(parity);
    entry.settings.stopBits = lowByte(stopBits);
    entry.settings.byteSize = lowByte(dataBits);
    applySettingsAndLines(entry);
    return kOk;
}

SERWYN_API int SERWYN_CALL SioFlow(int port, int mode)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    SioPortEntry &entry = library().ports[port];
    platform::LineSettings &s = entry.settings;
    switch (lowByte(mode)) {
    case 'H':
        s.outxCtsFlow = true;
        s.rtsControl = platform::kRtsControlHandshake;
        s.outX = s.inX = false;
        break;
    case 'N':
        s.outxCtsFlow = false;
        s.rtsControl = platform::kRtsControlDisable;
        s.outX = s.inX = false;
        break;
    case 'S':
        s.outxCtsFlow = false;
        s.rtsControl = platform::kRtsControlDisable;
        s.outX = s.inX = true;
        break;
    default:
        break;  // unknown modes apply the settings unchanged
    }
    applySettingsAndLines(entry);
    return kOk;
}

} // extern "C"
