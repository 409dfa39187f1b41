// The Windows side of serwyn-pty-device: a test program under Wine asks the
// device at the far end of its COM port to send, to report what it received
// and how the line is set, and to hang up.
#pragma once

#include <map>
#include <string>

class PtyDevice {
public:
    // Connects to the device named by SERWYN_DEVICE_CONTROL; connected()
    // tells whether that worked.
    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice &) = delete;
    PtyDevice &operator=(const PtyDevice &) = delete;

    bool connected() const;
    // Sends bytes from the device; true once they can be read at the port.
    bool send(const std::string &bytes);
    // Up to count bytes the device received, waiting up to five seconds.
    std::string receive(std::size_t count);
    // The port side's line settings: speed, csize, parodd, cmspar, cstopb,
    // crtscts, ixon, ixoff, raw.
    std::map<std::string, long> line();
    void hangUp();

private:
    std::string request(const std::string &line);
    unsigned long long socket_;
};
