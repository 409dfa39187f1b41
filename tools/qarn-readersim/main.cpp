// qarn-readersim: a simulated reader on a pseudo-terminal. Prints the
// device path that COMn should name, then serves until interrupted.
#include "readersim.h"

#include <csignal>
#include <cstdio>

int main()
{
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    // Blocked before the serving thread starts, so only sigwait sees them.
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    readersim::ReaderSim reader;
    if (!reader.ok()) {
        std::perror("qarn-readersim: no pseudo-terminal");
        return 1;
    }
    // A few log records for the application to fetch; byte 5 is BCD.
    for (std::uint8_t n = 1; n <= 3; ++n)
        reader.queueLogRecord({n, 0x00, 0x10, 0x20, 0x30, static_cast<std::uint8_t>(0x10 * n + 5),
                               0xAA, 0xBB, 0xCC, 0xDD, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    reader.setFileLengths(1024, 512, 400);

    std::printf("%s\n", reader.devicePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "qarn-readersim: serving; run your program with COM1=%s\n",
                 reader.devicePath().c_str());

    int signal = 0;
    sigwait(&stopSignals, &signal);
    return 0;
}
