#pragma once
// The scan cycle without a user interface: the device table, the scan window
// and the automatic-rescan countdown. The dialog drives it from its socket and timers.

#include "discovery_packet.h"

#include <array>
#include <cstdint>
#include <functional>

constexpr int MAX_DEVICE_ROWS = 255;   // the table's last slot is never written
constexpr int RESCAN_TICKS_AFTER_DROP = 5;
constexpr int RESCAN_TICKS_AFTER_CHANGE = 10;

class CScanState {
public:
    // Reads the next waiting datagram into the row given and returns its true size,
    // or a negative value when nothing is waiting. Sets `arrivalInterface` to the index
    // of the interface it came in by, or 0 when that is not known.
    using ReadDatagram = std::function<std::int64_t(DISCOVERY_PACKET& row, unsigned& arrivalInterface)>;
    using RowAccepted = std::function<void(int row)>;

    // Opens a scan window and empties the table; false (and no change) while one is open.
    bool BeginScan();
    // Reads replies into the table until the read fails, a datagram has the wrong size,
    // or the table is full. Returns the number of rows added.
    int ReceiveReplies(const ReadDatagram& read, const RowAccepted& accepted);
    bool IsFull() const { return m_nCount >= MAX_DEVICE_ROWS; }
    // Closes the window; true when a first line exists to be selected.
    bool CloseScanWindow();
    // One ticker tick; true when the countdown has just run out and a scan is due.
    bool Tick();
    void ArmRescanAfterAddressChange() { m_nRescanCountdown = RESCAN_TICKS_AFTER_CHANGE; }

    // The interface each row's reply came in by (0: not known), so that an address
    // change can go out where the device answered.
    unsigned RowInterface(int row) const { return m_rowInterfaces[static_cast<std::size_t>(row)]; }

    std::array<DISCOVERY_PACKET, MAX_DEVICE_ROWS + 1> m_devices{};
    std::array<unsigned, MAX_DEVICE_ROWS + 1> m_rowInterfaces{};
    int m_nCount = 0;
    int m_nRescanCountdown = 0;
    int m_nPrevCount = 0;
    bool m_bScanning = false;
};
