// The port table and the state every port function shares.
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
};

inline constexpr std::uint8_t kLineBitDtr = 0x01;
inline constexpr std::uint8_t kLineBitRts = 0x02;

inline constexpr int kOk = 0;
inline constexpr int kBadPort = -1;
inline constexpr int kNotOpen = -3;
inline constexpr int kRxEmpty = -100;
inline constexpr int kBadCommand = -101;
inline constexpr int kOsError = -103;

extern SioPortEntry portTable[kPortCount];
// The system's code saved by the latest call that failed with kOsError.
extern std::uint32_t lastOsError;
// Written by every queue query of the library, whichever port it is for.
extern platform::QueueStatus queueStatus;

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
