#pragma once
// The messages the program shows, captioned with the program's name.

#include "win32_headers.h"

#include <string>

inline constexpr const wchar_t* MSG_SOCKET_CREATE_ERROR = L"Socket create error";
inline constexpr const wchar_t* MSG_INVALID_IP_ADDRESS = L"Invalid IP address";
inline constexpr const wchar_t* MSG_INVALID_MASK = L"Invalid mask";

// The file name of `modulePath` without directory and extension.
std::wstring ProgramNameFromPath(const std::wstring& modulePath);
// The executable's file name without its extension.
std::wstring ProgramName();
// An OK box owned by `owner`; waits until the operator dismisses it.
void ShowProgramMessage(HWND owner, const wchar_t* text, UINT icon = 0);
// String `id` of the string table, in an OK box with an exclamation mark.
void ShowProgramString(HWND owner, UINT id);
