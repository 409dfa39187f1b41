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
    return ReceiveBatch(read, accepted, NO_READ_LIMIT).added;
}

DrainResult CScanState::ReceiveBatch(const ReadDatagram& read, const RowAccepted& accepted, int maxReads)
{
    DrainResult result;
    for (int reads = 0;; ++reads) {
        if (IsFull()) {
            result.end = DrainEnd::TableFull;
            break;
        }
        if (reads >= maxReads) {
            result.end = DrainEnd::ReadLimit;
            break;
        }
        const auto slot = static_cast<std::size_t>(m_nCount);
        DISCOVERY_PACKET& row = m_devices[slot];
        unsigned arrivalInterface = 0;
        const std::int64_t size = read(row, arrivalInterface);
        if (size < 0) {
            result.end = DrainEnd::NothingWaiting;
            break;
        }
        ++result.datagrams;
        if (!IsWholeDatagram(size)) {
            result.end = DrainEnd::WrongSize;
            break;
        }
        if (!IsDiscoveryReply(row))
            continue;   // the next read reuses this row
        m_rowInterfaces[slot] = arrivalInterface;
        accepted(m_nCount);
        ++m_nCount;
        ++result.added;
    }
    return result;
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
