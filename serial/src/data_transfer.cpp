// Moving bytes through an open port: SioPutc to SioRead.
#include "port_table.h"

#include "serwyn.h"

using namespace serwyn;

namespace {

// Takes the next byte: the pushed-back one first, else one that has arrived.
int getByte(SioPortEntry &entry)
{
    if (entry.pushback != 0) {
        std::uint8_t byte = entry.pushback;
        entry.pushback = 0;
        return byte;
    }
    std::uint8_t byte = 0;
    bool received = false;
    if (!platform::takeByte(entry.handle, entry.device, byte, received))
        return failWithOsError();
    return received ? byte : kRxEmpty;
}

// One count of the queue query; 0 when the system cannot tell. The line-error
// flags the query reads are dropped.
int queueCount(int port, std::uint32_t platform::QueueStatus::*count)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    SioPortEntry &entry = library().ports[port];
    std::uint32_t errors = 0;
    platform::QueueStatus queues{};
    if (!platform::queryErrors(entry.handle, entry.device, errors, queues))
        return 0;
    return static_cast<int>(queues.*count);
}

} // namespace

extern "C" {

SERWYN_API int SERWYN_CALL SioPutc(int port, int ch)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    std::uint8_t byte = lowByte(ch);
    std::uint32_t written = 0;
    if (!platform::write(library().ports[port].handle, &byte, 1, written))
        return failWithOsError();
    return kOk;
}

SERWYN_API int SERWYN_CALL SioPuts(int port, const char *buffer, int length)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    if (length < 0 || (buffer == nullptr && length > 0))
        return failWithInvalidArgument();
    std::uint32_t written = 0;
    if (!platform::write(library().ports[port].handle, buffer, static_cast<std::uint32_t>(length), written))
        return failWithOsError();
    return static_cast<int>(written);
}

SERWYN_API int SERWYN_CALL SioGetc(int port)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    return getByte(library().ports[port]);
}

SERWYN_API int SERWYN_CALL SioGets(int port, char *buffer, int length)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    if (length < 0 || (buffer == nullptr && length > 0))
        return failWithInvalidArgument();
    SioPortEntry &entry = library().ports[port];
    if (entry.pushback != 0) {
        // With no room the pushed-back byte stays for the next read.
        if (length == 0)
            return 0;
        buffer[0] = static_cast<char>(entry.pushback);
        entry.pushback = 0;
        return 1;  // bytes that have arrived wait for the next call
    }
    std::uint32_t received = 0;
    if (!platform::read(entry.handle, entry.device, buffer, static_cast<std::uint32_t>(length), received))
        return failWithOsError();
    return static_cast<int>(received);
}

SERWYN_API int SERWYN_CALL SioUnGetc(int port, int ch)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    library().ports[port].pushback = lowByte(ch);
    return kOk;
}

SERWYN_API int SERWYN_CALL SioRxClear(int port)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    while (getByte(library().ports[port]) >= 0) {
    }
    return kOk;
}

SERWYN_API int SERWYN_CALL SioTxClear(int port)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    platform::purge(library().ports[port].handle, platform::kPurgeTxAbort | platform::kPurgeTxClear);
    return kOk;
}

SERWYN_API int SERWYN_CALL SioTxQue(int port)
{
    return queueCount(port, &platform::QueueStatus::outQueue);
}

SERWYN_API int SERWYN_CALL SioRxQue(int port)
{
    return queueCount(port, &platform::QueueStatus::inQueue);
}

SERWYN_API int SERWYN_CALL SioRead(int port, int reg)
{
    if (int check = checkOpenPort(port); check != kOk)
        return check;
    // Unsigned, so that a register near the int limit wraps instead of overflowing.
    auto address = static_cast<std::uint16_t>(static_cast<unsigned>(port) + static_cast<unsigned>(reg));
    std::uint8_t value = 0;
    if (!platform::readIoPort(address, value))
        return failWithOsError();
    return value;
}

} // extern "C"
