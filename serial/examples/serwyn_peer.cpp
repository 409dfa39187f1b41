// A stand-in device for trying the library without hardware: makes a
// pseudo-terminal pair, runs the given program with COM3 naming the
// terminal side, and plays the device on the other side. It answers the
// first line it receives with the same line in capitals.
//
//   serwyn-peer serwyn-example [args...]
#include <pty.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr auto kAnswerWithin = std::chrono::seconds(10);

// Reads from the device side until a whole line has come, the program has
// closed the port for good, or the time is up.
bool receiveLine(int master, std::string &line)
{
    const auto deadline = std::chrono::steady_clock::now() + kAnswerWithin;
    while (line.empty() || line.back() != '\n') {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char chunk[256];
        ssize_t n = read(master, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        line.append(chunk, static_cast<std::size_t>(n));
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

    std::string line;
    if (receiveLine(master, line)) {
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
    close(master);
    close(terminal);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
