// The operating-system side of the library: the serial operations the port
// functions are built on, shaped after the Windows serial interface so that
// the library's own logic reads the same on every system. Each operating
// system implements them in its own directory (posix/, win32/).
//
// Every operation that can fail returns false and leaves the system's code
// for the failure to be had from lastError().
#pragma once

#include <cstddef>
#include <cstdint>

namespace serwyn::platform {

using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

// A port's line settings (the fields of the Windows DCB that a serial line
// has; codes and meanings as there).
struct LineSettings {
    std::uint32_t baudRate;
    bool binary;
    bool parityCheck;
    bool outxCtsFlow;
    bool outxDsrFlow;
    std::uint8_t dtrControl;  // see kDtrControl*
    bool dsrSensitivity;
    bool txContinueOnXoff;
    bool outX;
    bool inX;
    bool errorCharEnabled;
    bool nullStrip;
    std::uint8_t rtsControl;  // see kRtsControl*
    bool abortOnError;
    std::uint16_t xonLim;
    std::uint16_t xoffLim;
    std::uint8_t byteSize;
    std::uint8_t parity;      // see kParity*
    std::uint8_t stopBits;    // see kStopBits*
    std::uint8_t xonChar;
    std::uint8_t xoffChar;
    std::uint8_t errorChar;
    std::uint8_t eofChar;
    std::uint8_t evtChar;
};

inline constexpr std::uint8_t kDtrControlDisable = 0, kDtrControlEnable = 1, kDtrControlHandshake = 2;
inline constexpr std::uint8_t kRtsControlDisable = 0, kRtsControlEnable = 1, kRtsControlHandshake = 2,
                              kRtsControlToggle = 3;
inline constexpr std::uint8_t kParityNone = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3,
                              kParitySpace = 4;
inline constexpr std::uint8_t kStopBitsOne = 0, kStopBitsOneAndHalf = 1, kStopBitsTwo = 2;

// Read and write time limits in milliseconds, as in the Windows COMMTIMEOUTS.
struct Timeouts {
    std::uint32_t readInterval;
    std::uint32_t readTotalMultiplier;
    std::uint32_t readTotalConstant;
    std::uint32_t writeTotalMultiplier;
    std::uint32_t writeTotalConstant;
};

// Bytes waiting in the device's receive and transmit buffers.
struct QueueStatus {
    std::uint32_t inQueue;
    std::uint32_t outQueue;
};

// What a layer remembers about one open device between calls. It is kept
// in the library's state beside the port's handle and starts afresh at
// each open. The POSIX layer keeps the driver's line-error counters as last
// reported, so that each error is reported once (devices that count them
// only), and whether the last read found bytes, which picks how the next
// read starts; the other layers keep nothing here.
struct DeviceMemory {
    bool countsErrors = false;
    std::uint32_t errorCounts[5] = {};
    bool lastReadFound = false;
};

enum class Escape : std::uint32_t { SetRts = 3, ClearRts = 4, SetDtr = 5, ClearDtr = 6, ResetDevice = 7 };

inline constexpr std::uint32_t kEventRxChar = 0x0001, kEventBreak = 0x0040;
inline constexpr std::uint32_t kPurgeTxAbort = 0x0001, kPurgeRxAbort = 0x0002, kPurgeTxClear = 0x0004,
                               kPurgeRxClear = 0x0008;

// Line-error flags from queryErrors.
inline constexpr std::uint32_t kErrorRxOver = 0x0001, kErrorOverrun = 0x0002, kErrorRxParity = 0x0004,
                               kErrorFrame = 0x0008, kErrorBreak = 0x0010;

// Modem-status bits from modemStatus.
inline constexpr std::uint32_t kModemCts = 0x0010, kModemDsr = 0x0020, kModemRing = 0x0040, kModemDcd = 0x0080;

// Opens COMn (n counts from 1) for exclusive reading and writing, and
// starts the device's memory afresh. Returns kInvalidHandle on failure.
Handle open(unsigned comNumber, DeviceMemory &memory);
bool close(Handle handle);

bool getState(Handle handle, LineSettings &settings);
// Refuses settings the device cannot take, applying nothing of them.
bool setState(Handle handle, const LineSettings &settings);
bool getTimeouts(Handle handle, Timeouts &timeouts);
bool setTimeouts(Handle handle, const Timeouts &timeouts);
bool setupQueues(Handle handle, std::int32_t inQueue, std::int32_t outQueue);
bool setEventMask(Handle handle, std::uint32_t mask);
bool escape(Handle handle, Escape function);

// Reads the queue counts and the line-error flags raised since the last
// query; each flag is reported once.
bool queryErrors(Handle handle, DeviceMemory &memory, std::uint32_t &errors, QueueStatus &status);
bool modemStatus(Handle handle, std::uint32_t &status);
bool setBreak(Handle handle);
bool clearBreak(Handle handle);
bool purge(Handle handle, std::uint32_t flags);

// Writes all of size bytes, waiting as long as that takes.
bool write(Handle handle, const void *data, std::uint32_t size, std::uint32_t &written);
// Reads what has arrived, up to size bytes, without waiting.
bool read(Handle handle, DeviceMemory &memory, void *data, std::uint32_t size, std::uint32_t &received);
// Takes one byte if one has arrived, without waiting; received says
// whether it did. Drops the line-error flags raised so far, as queryErrors
// does. A queue that cannot be asked counts as empty; false only when a
// waiting byte cannot be read.
bool takeByte(Handle handle, DeviceMemory &memory, std::uint8_t &byte, bool &received);

// Reads one byte of the processor's I/O port space.
bool readIoPort(std::uint16_t address, std::uint8_t &value);

std::uint32_t lastError();
// The system's code for an invalid argument, for failures found before any call.
std::uint32_t invalidArgumentError();
// Writes the system's message for code into buffer, cut to fit and always
// terminated. size must be at least 1.
void errorText(std::uint32_t code, char *buffer, std::size_t size);

} // namespace serwyn::platform
