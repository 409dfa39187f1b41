#include "fake_platform.h"

#include <cstdio>
#include <cstring>

namespace serwyn::platform {

namespace {

fake::World state;

// Logs the call; false with the scripted code when it is to be refused.
bool call(const char *operation, const std::string &argument = "")
{
    state.calls.push_back(argument.empty() ? operation : std::string(operation) + " " + argument);
    auto refusal = state.refuse.find(operation);
    if (refusal == state.refuse.end())
        return true;
    state.errorCode = refusal->second;
    return false;
}

fake::Device &deviceOf(Handle handle) { return state.devices[static_cast<unsigned>(handle)]; }

// Codes a real line cannot take are refused as a driver would.
bool acceptable(const LineSettings &s)
{
    return s.byteSize >= 5 && s.byteSize <= 8 && s.parity <= kParitySpace && s.stopBits <= kStopBitsTwo;
}

} // namespace

Handle open(unsigned comNumber, DeviceMemory &)
{
    if (!call("open", std::to_string(comNumber)))
        return kInvalidHandle;
    deviceOf(comNumber).open = true;
    return comNumber;
}

bool close(Handle handle)
{
    deviceOf(handle).open = false;
    return call("close");
}

bool getState(Handle handle, LineSettings &settings)
{
    if (!call("getState"))
        return false;
    settings = deviceOf(handle).settings;
    return true;
}

bool setState(Handle handle, const LineSettings &settings)
{
    if (!call("setState"))
        return false;
    if (!acceptable(settings)) {
        state.errorCode = fake::kInvalidArgument;
        return false;
    }
    fake::Device &device = deviceOf(handle);
    device.settings = settings;
    if (settings.dtrControl != kDtrControlHandshake)
        device.dtr = settings.dtrControl == kDtrControlEnable;
    if (settings.rtsControl != kRtsControlHandshake)
        device.rts = settings.rtsControl == kRtsControlEnable;
    return true;
}

bool getTimeouts(Handle handle, Timeouts &timeouts)
{
    if (!call("getTimeouts"))
        return false;
    timeouts = deviceOf(handle).timeouts;
    return true;
}

bool setTimeouts(Handle handle, const Timeouts &timeouts)
{
    if (!call("setTimeouts", std::to_string(timeouts.readInterval)))
        return false;
    deviceOf(handle).timeouts = timeouts;
    return true;
}

bool setupQueues(Handle, std::int32_t inQueue, std::int32_t outQueue)
{
    return call("setupQueues", std::to_string(inQueue) + " " + std::to_string(outQueue));
}

bool setEventMask(Handle, std::uint32_t mask) { return call("setEventMask", std::to_string(mask)); }

bool escape(Handle handle, Escape function)
{
    if (!call("escape", std::to_string(static_cast<unsigned>(function))))
        return false;
    fake::Device &device = deviceOf(handle);
    switch (function) {
    case Escape::SetDtr: device.dtr = true; break;
    case Escape::ClearDtr: device.dtr = false; break;
    case Escape::SetRts: device.rts = true; break;
    case Escape::ClearRts: device.rts = false; break;
    case Escape::ResetDevice: break;
    }
    return true;
}

bool queryErrors(Handle handle, DeviceMemory &, std::uint32_t &errors, QueueStatus &status)
{
    if (!call("queryErrors"))
        return false;
    fake::Device &device = deviceOf(handle);
    errors = device.pendingErrors;
    device.pendingErrors = 0;
    status.inQueue = static_cast<std::uint32_t>(device.received.size());
    status.outQueue = device.outQueue;
    return true;
}

bool modemStatus(Handle handle, std::uint32_t &status)
{
    if (!call("modemStatus"))
        return false;
    status = deviceOf(handle).modemInputs;
    return true;
}

bool setBreak(Handle handle)
{
    if (!call("setBreak"))
        return false;
    deviceOf(handle).breakOn = true;
    return true;
}

bool clearBreak(Handle handle)
{
    if (!call("clearBreak"))
        return false;
    deviceOf(handle).breakOn = false;
    return true;
}

bool purge(Handle handle, std::uint32_t flags)
{
    if (!call("purge", std::to_string(flags)))
        return false;
    if (flags & (kPurgeTxAbort | kPurgeTxClear))
        deviceOf(handle).outQueue = 0;
    return true;
}

bool write(Handle handle, const void *data, std::uint32_t size, std::uint32_t &written)
{
    if (!call("write", std::to_string(size)))
        return false;
    deviceOf(handle).sent.append(static_cast<const char *>(data), size);
    written = size;
    return true;
}

bool read(Handle handle, DeviceMemory &, void *data, std::uint32_t size, std::uint32_t &received)
{
    if (!call("read", std::to_string(size)))
        return false;
    fake::Device &device = deviceOf(handle);
    received = 0;
    auto *bytes = static_cast<std::uint8_t *>(data);
    while (received < size && !device.received.empty()) {
        bytes[received++] = device.received.front();
        device.received.pop_front();
    }
    return true;
}

bool takeByte(Handle handle, DeviceMemory &, std::uint8_t &byte, bool &received)
{
    received = false;
    if (!call("takeByte"))
        return false;
    fake::Device &device = deviceOf(handle);
    device.pendingErrors = 0;
    if (device.received.empty())
        return true;
    byte = device.received.front();
    device.received.pop_front();
    received = true;
    return true;
}

bool readIoPort(std::uint16_t address, std::uint8_t &value)
{
    if (!call("readIoPort", std::to_string(address)))
        return false;
    state.ioAddress = address;
    value = state.ioValue;
    return true;
}

std::uint32_t lastError() { return state.errorCode; }

std::uint32_t invalidArgumentError() { return fake::kInvalidArgument; }

void errorText(std::uint32_t code, char *buffer, std::size_t size)
{
    std::snprintf(buffer, size, "system error %u", code);
}

} // namespace serwyn::platform

namespace fake {

World &world() { return serwyn::platform::state; }

void reset() { serwyn::platform::state = World{}; }

Device &device(unsigned comNumber) { return serwyn::platform::state.devices[comNumber]; }

std::vector<std::string> operations()
{
    std::vector<std::string> names;
    for (const std::string &c : serwyn::platform::state.calls)
        names.push_back(c.substr(0, c.find(' ')));
    return names;
}

void clearCalls() { serwyn::platform::state.calls.clear(); }

} // namespace fake
