#include "platform.h"
#include "win32_link.h"
#include "win32_platform.h"

namespace qarn {

MessageBoxFunction showMessageBox = MessageBoxA;

SerialLink &SystemLink()
{
    static SystemTick tick;
    static Win32Link link(tick);
    return link;
}

std::tm LocalTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    return local;
}

void ShowPortFailure(std::uint16_t)
{
    // Modal, no owner window: the caller waits until the operator dismisses it.
    showMessageBox(nullptr, "StartAPI FASLE!", "VELMO", MB_OK);
}

} // namespace qarn
