// A pseudo-terminal for the serial benchmarks: the library holds its port
// side as COM3 (port 2), a second descriptor of the same side serves the
// raw system calls, and the far side feeds and drains the line.
#pragma once

#include <cstddef>

struct LinePair {
    static constexpr int kPort = 2;
    int far = -1;  // the device's side
    int raw = -1;  // the port's side, non-blocking, for the raw calls

    // Opens the pair and the library's port; false when either fails.
    bool open();
    void close();
    // Sends count bytes from the far side and waits until all can be read.
    void feed(std::size_t count) const;
    // Reads count bytes at the far side.
    void drain(std::size_t count) const;
};
