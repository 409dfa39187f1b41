#include "exclusive_open.h"

namespace serwyn::platform::win32 {

HANDLE openExclusive(const char *path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING,
                       nullptr);
}

} // namespace serwyn::platform::win32
