// qarn-readersim: a simulated reader on a pseudo-terminal. Prints the
// device path that COMn should name, then serves until interrupted.
#include "readersim.h"

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

const char* const USAGE =
    "usage: qarn-readersim [--help] [--version]\n"
    "Plays a reader on a new pseudo-terminal: prints the terminal's device path on\n"
    "standard output, then answers requests until interrupted (Ctrl+C or SIGTERM).\n"
    "Run the application with COMn set to that path, e.g. COM1=/dev/pts/7.\n"
    "  -h, --help     print this text and exit\n"
    "  -V, --version  print the version and exit\n";

bool Is(const char* argument, const char* shortForm, const char* longForm)
{
    return std::strcmp(argument, shortForm) == 0 || std::strcmp(argument, longForm) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (Is(argv[i], "-h", "--help")) {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (Is(argv[i], "-V", "--version")) {
            std::puts("qarn-readersim " FIELDKIT_VERSION);
            return 0;
        }
        std::fprintf(stderr, "qarn-readersim: unknown option: %s\nTry 'qarn-readersim --help'.\n", argv[i]);
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

    std::printf("%s\n", reader.devicePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "qarn-readersim: serving; run your program with COM1=%s\n",
                 reader.devicePath().c_str());

    int signal = 0;
    sigwait(&stopSignals, &signal);
    return 0;
}
