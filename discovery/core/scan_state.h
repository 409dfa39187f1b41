#pragma once
// The scan cycle without a user interface: the device table, the scan window
// and the automatic-rescan countdown. The controller (device_list_controller.h)
// drives it from the network and the timers; corvane-scan from its socket.

#include "discovery_packet.h"

#include <array>
#include <cstdint>
#include <functional>
#include <limits>

constexpr int MAX_DEVICE_ROWS = 255;   // the table's last slot is never written
constexpr int RESCAN_TICKS_AFTER_DROP = 5;
constexpr int RESCAN_TICKS_AFTER_CHANGE = 10;
constexpr int NO_READ_LIMIT = std::numeric_limits<int>::max();
// Datagrams a front end reads at a time: under a flood the window's other events
// get their turn between such batches.
constexpr int RECEIVE_BATCH_READS = 64;
// Stale datagrams a Refresh reads and drops before its probe, at most: about what a
// receive buffer holds of them on Linux, so that under a flood the window is not held
// there (under Wine each read is a call to the wineserver).
constexpr int DISCARD_LIMIT_BEFORE_PROBE = 256;

// Why a drain stopped reading.
enum class DrainEnd {
    NothingWaiting,   // the read found no datagram
    WrongSize,        // a datagram of another size than 20 was read and dropped
    TableFull,        // no free row: nothing more is read until the next scan
    ReadLimit,        // the reads allowed were spent; more datagrams may wait
};

struct DrainResult {
    int added = 0;
    int datagrams = 0;   // datagrams read, replies or not
    DrainEnd end = DrainEnd::NothingWaiting;
};

// True when datagrams may still wait after a drain that ended so. The host should
// drain again soon even if the socket does not report readiness anew.
constexpr bool MoreMayWait(DrainEnd end)
{
    return end == DrainEnd::WrongSize || end == DrainEnd::ReadLimit;
}

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
    // The same drain, reading at most `maxReads` datagrams, so that a flood of
    // datagrams cannot keep the host from its other work for long.
    DrainResult ReceiveBatch(const ReadDatagram& read, const RowAccepted& accepted, int maxReads);
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
