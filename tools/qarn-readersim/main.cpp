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

namespace {

const char* const USAGE =
    "usage: qarn-readersim [--silent | --stalled] [--help] [--version]\n"
    "Plays a reader on a new pseudo-terminal: prints the terminal's device path on\n"
    "standard output, then answers requests until interrupted (Ctrl+C or SIGTERM).\n"
    "Run the application with COMn set to that path, e.g. COM1=/dev/pts/7.\n"
    "      --silent   echo every byte but never answer (a reader that is not there)\n"
    "      --stalled  take no bytes at all (output held stopped, as after XOFF)\n"
    "  -h, --help     print this text and exit\n"
    "  -V, --version  print the version and exit\n";

bool Is(const char* argument, const char* shortForm, const char* longForm)
{
    return std::strcmp(argument, shortForm) == 0 || std::strcmp(argument, longForm) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    bool silent = false;
    bool stalled = false;
    for (int i = 1; i < argc; ++i) {
        if (Is(argv[i], "-h", "--help")) {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (Is(argv[i], "-V", "--version")) {
            std::puts("qarn-readersim " FIELDKIT_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--silent") == 0) {
            silent = true;
            continue;
        }
        if (std::strcmp(argv[i], "--stalled") == 0) {
            stalled = true;
            continue;
        }
        std::fprintf(stderr, "qarn-readersim: unknown option: %s\nTry 'qarn-readersim --help'.\n", argv[i]);
        return 2;
    }
    if (silent && stalled) {
        std::fprintf(stderr, "qarn-readersim: --silent and --stalled exclude each other\n");
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
    reader.answerNothing(silent);
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
