// Between the library's line settings and the Windows DCB record.
#pragma once

#include "../platform.h"

#include <windows.h>

namespace serwyn::platform::win32 {

LineSettings fromDcb(const DCB &dcb);
// A whole DCB, DCBlength set; the reserved fields are zero.
DCB toDcb(const LineSettings &settings);

} // namespace serwyn::platform::win32
