// Any sequence of serwyn calls, with any arguments, over the scripted serial
// layer of the test suite, which may refuse any operation: every result is
// one the function documents, a port that fails the port checks is not
// touched, no received byte is lost, duplicated or reordered, what is sent
// reaches the line, and no call writes past a caller's buffer.
#include "fake_platform.h"
#include "fuzz_check.h"
#include "port_table.h"
#include "serwyn.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

namespace {

// The platform operations a call may be refused; SioReset's set-up uses most of them.
const char *const kOperations[] = {"open",         "close",       "getState",  "setState",    "getTimeouts",
                                   "setTimeouts",  "setupQueues", "setEventMask", "escape",   "queryErrors",
                                   "modemStatus",  "setBreak",    "clearBreak", "purge",      "write",
                                   "read",         "readIoPort"};

// What the application can know of one port from the results it was given.
struct PortModel {
    std::uint8_t pushback = 0;
    std::deque<std::uint8_t> received;   // arrived on the line, not yet delivered
    std::string sent;                    // what reached the line
    std::uint8_t lineBits = 0;           // DTR and RTS as last set by the application
};

struct Run {
    FuzzedDataProvider &input;
    std::array<PortModel, serwyn::kPortCount> ports{};
    bool wasOpen = false;   // the port of the current call, before it

    bool refusing() const { return !fake::world().refuse.empty(); }

    int consumePort()
    {
        // Mostly a few real ports, sometimes the edges and beyond.
        switch (input.ConsumeIntegralInRange(0, 7)) {
        case 0: return -1;
        case 1: return 16;
        case 2: return 15;
        case 3: return input.ConsumeIntegral<int>();
        default: return input.ConsumeIntegralInRange(0, 2);
        }
    }

    static bool isOpen(int port) { return serwyn::library().ports[port].handle != serwyn::platform::kInvalidHandle; }

    static fake::Device &deviceOf(int port) { return fake::device(static_cast<unsigned>(port) + 1); }

    // The port checks: nothing reaches the system for a port that fails them.
    // Returns true when the call got past them.
    bool checkedPort(int port, int result, std::size_t callsBefore, bool openNeeded = true)
    {
        if (port < 0 || port >= serwyn::kPortCount) {
            FUZZ_CHECK(result == SIO_BAD_PORT);
            FUZZ_CHECK(fake::world().calls.size() == callsBefore);
            return false;
        }
        if (openNeeded && !wasOpen) {
            FUZZ_CHECK(result == SIO_NOT_OPEN);
            FUZZ_CHECK(fake::world().calls.size() == callsBefore);
            return false;
        }
        return true;
    }

    void expectOsErrorSaved(int result, std::uint32_t before)
    {
        if (result == SIO_OS_ERROR) {
            FUZZ_CHECK(serwyn::library().lastOsError == fake::world().errorCode ||
                       serwyn::library().lastOsError == fake::kInvalidArgument);
        } else {
            FUZZ_CHECK(serwyn::library().lastOsError == before);   // only a failure changes it
        }
    }

    // Takes the next byte the application should see, or -1 when none is known to wait.
    int nextExpected(PortModel &m)
    {
        if (m.pushback != 0) {
            int b = m.pushback;
            m.pushback = 0;
            return b;
        }
        if (m.received.empty())
            return -1;
        int b = m.received.front();
        m.received.pop_front();
        return b;
    }

    // A port that is closed may drop what the library had taken from the system
    // but not yet delivered; what the system still holds is delivered later.
    void forgetUnread(int port)
    {
        const auto &queue = deviceOf(port).received;
        ports[static_cast<std::size_t>(port)].received.assign(queue.begin(), queue.end());
    }

    void step();
    void checkInvariants();
    void drainAll();
};

void Run::step()
{
    const int port = consumePort();
    const bool inRange = port >= 0 && port < serwyn::kPortCount;
    PortModel scratch;
    PortModel &m = inRange ? ports[static_cast<std::size_t>(port)] : scratch;
    const std::size_t calls = fake::world().calls.size();
    const std::uint32_t osError = serwyn::library().lastOsError;
    wasOpen = inRange && isOpen(port);

    switch (input.ConsumeIntegralInRange(0, 21)) {
    case 0: {   // SioReset
        const int inQueue = input.ConsumeIntegralInRange(-4, 5000);
        const int result = SioReset(port, inQueue, input.ConsumeIntegralInRange(-4, 5000));
        FUZZ_CHECK(result == 0 || result == SIO_BAD_PORT || result == SIO_OS_ERROR);
        if (!checkedPort(port, result, calls, false))
            break;
        expectOsErrorSaved(result, osError);
        if (wasOpen)
            forgetUnread(port);   // it was closed and opened again
        if (result == 0) {
            FUZZ_CHECK(isOpen(port));
            FUZZ_CHECK(deviceOf(port).timeouts.readInterval == 0xFFFFFFFFu);   // reads never wait
        }
        break;
    }
    case 1: {   // SioDone
        const int result = SioDone(port);
        FUZZ_CHECK(result >= 0 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN);
        if (checkedPort(port, result, calls)) {
            FUZZ_CHECK(!isOpen(port) && !deviceOf(port).open);   // closed even when the system refuses
            forgetUnread(port);
        }
        expectOsErrorSaved(result, osError);
        break;
    }
    case 2: {   // SioBaud
        const int result = SioBaud(port, input.ConsumeIntegral<int>());
        FUZZ_CHECK(result == 0 || result == 1 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN);
        checkedPort(port, result, calls);
        expectOsErrorSaved(result, osError);
        break;
    }
    case 3: {   // SioParms
        const int parity = input.ConsumeIntegralInRange(-1, 8);
        const int stopBits = input.ConsumeIntegralInRange(-1, 3);
        const int result = SioParms(port, parity, stopBits, input.ConsumeIntegralInRange(3, 9));
        FUZZ_CHECK(result == 0 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN);
        checkedPort(port, result, calls);
        expectOsErrorSaved(result, osError);
        break;
    }
    case 4: {   // SioFlow
        static const int modes[] = {'H', 'N', 'S', 'h', 'X', 0x100 + 'N'};
        const int result = SioFlow(port, modes[input.ConsumeIntegralInRange(0, 5)]);
        FUZZ_CHECK(result == 0 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN);
        checkedPort(port, result, calls);
        expectOsErrorSaved(result, osError);
        break;
    }
    case 5: {   // SioPutc
        const int ch = input.ConsumeIntegral<int>();
        const int result = SioPutc(port, ch);
        FUZZ_CHECK(result == 0 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN || result == SIO_OS_ERROR);
        if (checkedPort(port, result, calls) && result == 0)
            m.sent += static_cast<char>(ch & 0xFF);
        expectOsErrorSaved(result, osError);
        break;
    }
    case 6: {   // SioPuts from a buffer of exactly the length given
        const int length = input.ConsumeIntegralInRange(-2, 300);
        const std::string bytes = input.ConsumeBytesAsString(length > 0 ? static_cast<std::size_t>(length) : 0);
        const std::size_t room = length > 0 ? static_cast<std::size_t>(length) : 0;
        auto buffer = std::make_unique<char[]>(room);
        std::memcpy(buffer.get(), bytes.data(), bytes.size());
        const int result = SioPuts(port, buffer.get(), length);
        FUZZ_CHECK(result >= 0 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN || result == SIO_OS_ERROR);
        if (checkedPort(port, result, calls) && result >= 0) {
            FUZZ_CHECK(length >= 0 && result == length);
            m.sent.append(buffer.get(), room);
        }
        if (length < 0)
            FUZZ_CHECK(result < 0);
        expectOsErrorSaved(result, osError);
        break;
    }
    case 7: {   // SioGetc
        const int result = SioGetc(port);
        FUZZ_CHECK((result >= 0 && result <= 255) || result == SIO_RX_EMPTY || result == SIO_BAD_PORT ||
                   result == SIO_NOT_OPEN || result == SIO_OS_ERROR);
        if (!checkedPort(port, result, calls))
            break;
        expectOsErrorSaved(result, osError);
        if (result >= 0) {
            FUZZ_CHECK(nextExpected(m) == result);
        } else if (result == SIO_RX_EMPTY) {
            FUZZ_CHECK(m.pushback == 0);
            if (!refusing())
                FUZZ_CHECK(m.received.empty());   // nothing reported missing that was waiting
        } else {
            FUZZ_CHECK(m.pushback == 0);   // a pushed-back byte needs no system call
        }
        break;
    }
    case 8: {   // SioGets into a buffer of exactly the length given
        const int length = input.ConsumeIntegralInRange(-2, 300);
        const std::size_t room = length > 0 ? static_cast<std::size_t>(length) : 0;
        auto buffer = std::make_unique<char[]>(room);
        std::memset(buffer.get(), 0x5A, room);
        const int result = SioGets(port, buffer.get(), length);
        FUZZ_CHECK(result >= 0 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN || result == SIO_OS_ERROR);
        if (!checkedPort(port, result, calls)) {
            for (std::size_t i = 0; i < room; ++i)
                FUZZ_CHECK(buffer[i] == 0x5A);
            break;
        }
        expectOsErrorSaved(result, osError);
        if (result < 0) {
            for (std::size_t i = 0; i < room; ++i)
                FUZZ_CHECK(buffer[i] == 0x5A);
            break;
        }
        FUZZ_CHECK(static_cast<std::size_t>(result) <= room);
        if (m.pushback != 0 && room > 0)
            FUZZ_CHECK(result == 1);   // the pushed-back byte comes alone
        for (int i = 0; i < result; ++i)
            FUZZ_CHECK(nextExpected(m) == static_cast<std::uint8_t>(buffer[i]));
        for (std::size_t i = static_cast<std::size_t>(result); i < room; ++i)
            FUZZ_CHECK(buffer[i] == 0x5A);   // nothing past what it reports
        if (result == 0 && room > 0 && !refusing())
            FUZZ_CHECK(m.pushback == 0 && m.received.empty());
        break;
    }
    case 9: {   // SioUnGetc
        const int ch = input.ConsumeIntegral<int>();
        const int result = SioUnGetc(port, ch);
        FUZZ_CHECK(result == 0 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN);
        if (checkedPort(port, result, calls))
            m.pushback = static_cast<std::uint8_t>(ch);
        break;
    }
    case 10: {   // SioRxClear
        const int result = SioRxClear(port);
        FUZZ_CHECK(result == 0 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN);
        if (!checkedPort(port, result, calls))
            break;
        if (!refusing())
            FUZZ_CHECK(deviceOf(port).received.empty());
        // Whatever it read is gone; what it left still waits, in order.
        m.pushback = serwyn::library().ports[port].pushback;
        if (!refusing())
            FUZZ_CHECK(m.pushback == 0);
        while (m.received.size() > deviceOf(port).received.size())
            m.received.pop_front();
        break;
    }
    case 11: {   // SioTxClear
        const int result = SioTxClear(port);
        FUZZ_CHECK(result == 0 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN);
        checkedPort(port, result, calls);
        break;
    }
    case 12: {   // SioTxQue and SioRxQue
        if (inRange)
            deviceOf(port).outQueue = input.ConsumeIntegralInRange<std::uint32_t>(0, 4096);
        const bool transmit = input.ConsumeBool();
        const int result = transmit ? SioTxQue(port) : SioRxQue(port);
        FUZZ_CHECK(result >= 0 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN);
        if (checkedPort(port, result, calls) && !refusing()) {
            // The system's count; a pushed-back byte is not in it.
            const std::size_t expected = transmit ? deviceOf(port).outQueue : m.received.size();
            FUZZ_CHECK(static_cast<std::size_t>(result) == expected);
        }
        break;
    }
    case 13: {   // SioDTR and SioRTS
        static const int commands[] = {'S', 'C', 'R', 's', 'X', 0x100 + 'S'};
        const int command = commands[input.ConsumeIntegralInRange(0, 5)];
        const bool dtr = input.ConsumeBool();
        const std::uint8_t bit = dtr ? 1 : 2;
        const int result = dtr ? SioDTR(port, command) : SioRTS(port, command);
        if (!checkedPort(port, result, calls))
            break;
        switch (command & 0xFF) {
        case 'S':
            m.lineBits |= bit;
            FUZZ_CHECK(result == 0 || result == 1);
            break;
        case 'C':
            m.lineBits &= static_cast<std::uint8_t>(~bit);
            FUZZ_CHECK(result == 0 || result == 1);
            break;
        case 'R':
            FUZZ_CHECK(result == (m.lineBits & bit));
            break;
        default:
            FUZZ_CHECK(result == SIO_BAD_CMD);
        }
        break;
    }
    case 14: {   // SioCTS, SioDSR, SioRI, SioDCD
        const std::uint32_t inputs = input.ConsumeIntegral<std::uint8_t>() & 0xF0u;
        if (inRange)
            deviceOf(port).modemInputs = inputs;
        static const std::uint32_t bits[] = {0x10, 0x20, 0x40, 0x80};
        const int which = input.ConsumeIntegralInRange(0, 3);
        int (*const lines[])(int) = {SioCTS, SioDSR, SioRI, SioDCD};
        const int result = lines[which](port);
        FUZZ_CHECK(result >= 0 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN);
        if (checkedPort(port, result, calls) && !refusing())
            FUZZ_CHECK(static_cast<std::uint32_t>(result) == (inputs & bits[which]));
        break;
    }
    case 15: {   // SioBrkSig
        static const int commands[] = {'A', 'C', 'D', 'a', 'Z'};
        const int command = commands[input.ConsumeIntegralInRange(0, 4)];
        const int result = SioBrkSig(port, command);
        if (!checkedPort(port, result, calls))
            break;
        if (command == 'A' || command == 'C' || command == 'D')
            FUZZ_CHECK(result == 0 || result == 1);
        else
            FUZZ_CHECK(result == SIO_BAD_CMD);
        break;
    }
    case 16: {   // SioStatus: line errors are reported once, then cleared
        const std::uint32_t errors = input.ConsumeIntegral<std::uint8_t>() & 0x1Fu;
        if (inRange)
            deviceOf(port).pendingErrors |= errors;
        const std::uint32_t pending = inRange ? deviceOf(port).pendingErrors : 0;
        const int mask = input.ConsumeIntegral<int>();
        const int result = SioStatus(port, mask);
        FUZZ_CHECK(result >= 0 || result == SIO_BAD_PORT || result == SIO_NOT_OPEN);
        if (checkedPort(port, result, calls) && !refusing())
            FUZZ_CHECK(static_cast<std::uint32_t>(result) == (pending & static_cast<std::uint32_t>(mask)));
        break;
    }
    case 17: {   // SioInfo and SioDebug take no port
        const int result = SioInfo(input.ConsumeIntegral<int>());
        FUZZ_CHECK(result == 34 || result == 1 || result == 0 || result == -1);
        FUZZ_CHECK(SioDebug(input.ConsumeIntegral<int>()) == 0);
        break;
    }
    case 18: {   // SioWinError into a buffer of exactly the size given
        const int size = input.ConsumeIntegralInRange(-1, 40);
        const std::size_t room = size > 0 ? static_cast<std::size_t>(size) : 0;
        auto buffer = std::make_unique<char[]>(room);
        std::memset(buffer.get(), 0x5A, room);
        const int result = SioWinError(room ? buffer.get() : nullptr, size);
        FUZZ_CHECK(static_cast<std::uint32_t>(result) == serwyn::library().lastOsError);
        if (room > 0)
            FUZZ_CHECK(std::memchr(buffer.get(), '\0', room) != nullptr);   // always terminated
        break;
    }
    case 19: {   // SioRead
        const int result = SioRead(port, input.ConsumeIntegral<int>());
        FUZZ_CHECK((result >= 0 && result <= 255) || result == SIO_BAD_PORT || result == SIO_NOT_OPEN ||
                   result == SIO_OS_ERROR);
        checkedPort(port, result, calls);
        expectOsErrorSaved(result, osError);
        break;
    }
    case 20: {   // bytes arrive on the line
        const std::string bytes = input.ConsumeRandomLengthString(64);
        if (inRange) {
            for (char c : bytes) {
                deviceOf(port).received.push_back(static_cast<std::uint8_t>(c));
                m.received.push_back(static_cast<std::uint8_t>(c));
            }
        }
        break;
    }
    case 21: {   // the system starts or stops refusing an operation
        if (input.ConsumeIntegralInRange(0, 3) == 0) {
            fake::world().refuse.clear();
        } else {
            const char *operation = kOperations[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kOperations) - 1)];
            fake::world().refuse[operation] = input.ConsumeIntegralInRange<std::uint32_t>(1, 200);
        }
        break;
    }
    }
}

void Run::checkInvariants()
{
    for (int port = 0; port < serwyn::kPortCount; ++port) {
        const PortModel &m = ports[static_cast<std::size_t>(port)];
        const fake::Device &device = deviceOf(port);
        // The table and the system agree on which ports are open: no handle is left behind.
        FUZZ_CHECK(isOpen(port) == device.open);
        FUZZ_CHECK(serwyn::library().ports[port].pushback == m.pushback);
        // Everything reported sent reached the line, once and in order.
        FUZZ_CHECK(device.sent == m.sent);
    }
}

// With the system refusing nothing, reading every open port to the end gives
// exactly the bytes that arrived and were not delivered: none lost, repeated
// or reordered on the way.
void Run::drainAll()
{
    fake::world().refuse.clear();
    for (int port = 0; port < serwyn::kPortCount; ++port) {
        PortModel &m = ports[static_cast<std::size_t>(port)];
        if (!isOpen(port)) {
            FUZZ_CHECK(std::equal(m.received.begin(), m.received.end(), deviceOf(port).received.begin(),
                                  deviceOf(port).received.end()));
            continue;
        }
        std::deque<std::uint8_t> delivered;
        char buffer[64];
        for (int reads = 0; reads < 1000; ++reads) {
            const int result = SioGets(port, buffer, sizeof buffer);
            FUZZ_CHECK(result >= 0);
            if (result == 0)
                break;
            delivered.insert(delivered.end(), buffer, buffer + result);
        }
        std::deque<std::uint8_t> expected = m.received;
        if (m.pushback != 0)
            expected.push_front(m.pushback);
        FUZZ_CHECK(delivered == expected);
        FUZZ_CHECK(SioGetc(port) == SIO_RX_EMPTY);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fake::reset();
    serwyn::resetLibrary();

    FuzzedDataProvider input(data, size);
    Run run{input};
    for (int steps = 0; steps < 64 && input.remaining_bytes() > 0; ++steps) {
        run.step();
        run.checkInvariants();
        fake::clearCalls();
    }
    run.drainAll();
    return 0;
}
