#include "scan_state.h"

bool CScanState::BeginScan()
{
    if (m_bScanning)
        return false;
    m_nCount = 0;
    m_bScanning = true;
    return true;
}

int CScanState::ReceiveReplies(const ReadDatagram& read, const RowAccepted& accepted)
{
    const int before = m_nCount;
    while (!IsFull()) {
        const auto slot = static_cast<std::size_t>(m_nCount);
        DISCOVERY_PACKET& row = m_devices[slot];
        unsigned arrivalInterface = 0;
        if (!IsWholeDatagram(read(row, arrivalInterface)))
            break;
        if (!IsDiscoveryReply(row))
            continue;   // the next read reuses this row
        m_rowInterfaces[slot] = arrivalInterface;
        accepted(m_nCount);
        ++m_nCount;
    }
    return m_nCount - before;
}

bool CScanState::CloseScanWindow()
{
    if (m_nCount < m_nPrevCount)
        m_nRescanCountdown = RESCAN_TICKS_AFTER_DROP;   // replaces a running countdown
    m_nPrevCount = m_nCount;
    m_bScanning = false;
    return m_nCount > 0;
}

bool CScanState::Tick()
{
    if (m_nRescanCountdown == 0)
        return false;
    return --m_nRescanCountdown == 0;
}
