// A stand-in device for trying the library without hardware: makes a
// pseudo-terminal pair, runs the given program with COM3 naming the
// terminal side, and plays the device on the other side. It answers the
// first line it receives with the same line in capitals.
//
//   serwyn-peer serwyn-example [args...]
#include <pty.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Reads from the device side until a whole line has come or the program has
// ended. No clock: however long the program takes to start and to write (a
// Windows program under an emulated Wine takes minutes), the device waits.
bool receiveLine(int master, int program, std::string &line)
{
    while (line.empty() || line.back() != '\n') {
        pollfd ready[2] = {{master, POLLIN, 0}, {program, POLLIN, 0}};
        if (poll(ready, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (ready[0].revents & POLLIN) {
            char chunk[256];
            const ssize_t n = read(master, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            line.append(chunk, static_cast<std::size_t>(n));
        } else if (ready[1].revents != 0) {
            return false;   // ended, and nothing of its is left to read
        }
    }
    return true;
}

unsigned lineSpeed(int terminal)
{
    termios t{};
    tcgetattr(terminal, &t);
    switch (cfgetospeed(&t)) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: serwyn-peer PROGRAM [ARGS...]\n");
        return 2;
    }
    int master = -1, terminal = -1;
    char name[256];
    if (openpty(&master, &terminal, name, nullptr, nullptr) != 0) {
        std::perror("peer: openpty");
        return 1;
    }
    std::printf("peer: playing the device behind %s\npeer: running COM3=%s %s\n", name, name, argv[1]);
    std::fflush(stdout);

    pid_t child = fork();
    if (child < 0) {
        std::perror("peer: fork");
        return 1;
    }
    if (child == 0) {
        close(master);
        close(terminal);
        setenv("COM3", name, 1);
        execvp(argv[1], argv + 1);
        std::perror("peer: cannot run the program");
        _exit(127);
    }

    // Readable once the program has ended (Linux 5.3; glibc 2.36 declares
    // pidfd_open without C linkage, so the system call is made directly).
    const int program = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    if (program < 0) {
        std::perror("peer: pidfd_open");
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        return 1;
    }
    std::string line;
    if (receiveLine(master, program, line)) {
        std::string answer = line;
        for (char &c : answer)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::printf("peer: received %zu bytes at %u baud: %s", line.size(), lineSpeed(terminal), line.c_str());
        std::printf("peer: answering %s", answer.c_str());
        std::fflush(stdout);
        if (write(master, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size()))
            std::perror("peer: write");
    } else {
        std::printf("peer: no line received\n");
        std::fflush(stdout);
    }

    int status = 0;
    waitpid(child, &status, 0);
    close(program);
    close(master);
    close(terminal);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
