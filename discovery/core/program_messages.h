#pragma once
// The messages the program shows, with their icons: one table for both windows.

enum class ProgramMessage { SocketCreateError, InvalidIpAddress, InvalidMask, InterfacesNotListed };

inline constexpr const char* MSG_SOCKET_CREATE_ERROR = "Socket create error";
inline constexpr const char* MSG_INVALID_IP_ADDRESS = "Invalid IP address";
inline constexpr const char* MSG_INVALID_MASK = "Invalid mask";
// A scan that could not read the interface list: the list shown is kept.
inline constexpr const char* MSG_INTERFACES_NOT_LISTED = "Cannot list the network interfaces";

struct ProgramMessageText {
    const char* text;       // ASCII
    bool exclamation;       // the exclamation (warning) icon; else none
};

ProgramMessageText TextOf(ProgramMessage message);
