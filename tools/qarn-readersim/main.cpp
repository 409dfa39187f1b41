// qarn-readersim: a simulated reader on a pseudo-terminal. Prints the
// device path that COMn should name, then serves until interrupted.
//   qarn-readersim            a reader that answers
//   qarn-readersim --silent   a line that echoes but a reader that never answers
//   qarn-readersim --stalled  a line that takes no bytes (output held stopped)
#include "readersim.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    const bool silent = argc > 1 && std::strcmp(argv[1], "--silent") == 0;
    const bool stalled = argc > 1 && std::strcmp(argv[1], "--stalled") == 0;
    if (argc > 2 || (argc == 2 && !silent && !stalled)) {
        std::fprintf(stderr, "usage: qarn-readersim [--silent | --stalled]\n");
        return 2;
    }

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
    if (silent) {
        // More requests than any one run makes: each is echoed, none answered.
        for (int i = 0; i < 100000; ++i)
            reader.queueFault({readersim::Fault::NoReply, 0, 0, {}});
    }
    int held = -1;
    if (stalled) {
        // Output suspended as after XOFF: writes to the port wait and the
        // host's write deadline runs out.
        held = open(reader.devicePath().c_str(), O_RDWR | O_NOCTTY);
        if (held < 0 || tcflow(held, TCOOFF) != 0) {
            std::perror("qarn-readersim: cannot stop the line");
            return 1;
        }
    }

    std::printf("%s\n", reader.devicePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "qarn-readersim: serving; run your program with COM1=%s\n",
                 reader.devicePath().c_str());

    int signal = 0;
    sigwait(&stopSignals, &signal);
    if (held >= 0)
        close(held);
    return 0;
}
