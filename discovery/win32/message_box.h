#pragma once
// The program's message boxes in Win32, captioned with the program's name; the
// texts of its own messages are the core's (core/program_messages.h).

#include "program_messages.h"
#include "win32_headers.h"

#include <string>


// The file name of `modulePath` without directory and extension.
std::wstring ProgramNameFromPath(const std::wstring& modulePath);
// The executable's file name without its extension.
std::wstring ProgramName();
// An OK box owned by `owner`; waits until the operator dismisses it.
void ShowProgramMessage(HWND owner, const wchar_t* text, UINT icon = 0);
// One of the program's own messages, with its icon.
void ShowProgramMessage(HWND owner, ProgramMessage message);
// String `id` of the string table, in an OK box with an exclamation mark.
void ShowProgramString(HWND owner, UINT id);
