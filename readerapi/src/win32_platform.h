// The Win32 platform's seam for the operator notice.
#pragma once

#include <windows.h>

namespace qarn {

using MessageBoxFunction = int(WINAPI *)(HWND, LPCSTR, LPCSTR, UINT);

// Shows the notice of a port that could not be opened; MessageBoxA unless a
// test put a recorder here, so no test waits on a modal box.
extern MessageBoxFunction showMessageBox;

} // namespace qarn
