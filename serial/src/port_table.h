// The library's state: the port table and what every port function shares.
#pragma once

#include "platform.h"

#include <cstdint>

namespace serwyn {

inline constexpr int kPortCount = 16;

struct SioPortEntry {
    platform::Handle handle = platform::kInvalidHandle;
    std::uint8_t lineBits = 0;  // bit 0: DTR last set by SioDTR; bit 1: RTS last set by SioRTS
    std::uint8_t pushback = 0;  // byte handed back by SioUnGetc; 0 is empty
    platform::LineSettings settings{};
    platform::Timeouts savedTimeouts{};
    platform::DeviceMemory device{};  // what the system's layer remembers about the open device
};

inline constexpr std::uint8_t kLineBitDtr = 0x01;
inline constexpr std::uint8_t kLineBitRts = 0x02;

inline constexpr int kOk = 0;
inline constexpr int kBadPort = -1;
inline constexpr int kNotOpen = -3;
inline constexpr int kRxEmpty = -100;
inline constexpr int kBadCommand = -101;
inline constexpr int kOsError = -103;

// Everything the library keeps between calls. One instance lives as long
// as the library is loaded; every port function works on it.
struct LibraryState {
    SioPortEntry ports[kPortCount];
    // The system's code saved by the latest call that failed with kOsError.
    std::uint32_t lastOsError = 0;
};

LibraryState &library();
// Puts the state back as it is at load: every port not open, nothing
// pushed back or remembered, no saved error. Devices still open are not
// closed. The library never calls it (a port's pushed-back byte and
// remembered lines outlive SioDone and SioReset); tests and the fuzzer
// start each case from it.
void resetLibrary();

// 0 for a port number 0 to 15, kBadPort otherwise.
int checkPort(int port);
// The port checks: checkPort, then kNotOpen when the port is not open.
int checkOpenPort(int port);

// Saves the system's code of the failure just seen and returns kOsError.
int failWithOsError();
// Saves the code for an invalid argument and returns kOsError.
int failWithInvalidArgument();

// The low 8 bits of an argument, as commands, characters and codes are taken.
inline std::uint8_t lowByte(int value) { return static_cast<std::uint8_t>(value); }

// Applies the port's settings; when the system takes them, raises DTR and
// RTS again where the application last set them.
void applySettingsAndLines(SioPortEntry &entry);

} // namespace serwyn
