// Plays the device at the far end of a pseudo-terminal that Wine shows as
// one or more COM ports, for Windows test programs run under Wine. The
// program it runs drives the device over a loopback TCP connection whose
// port it finds in SERWYN_DEVICE_CONTROL, one request line at a time:
//
//   send HEX      the device sends the bytes; answers "ok" once they can be
//                 read at the port's side (or "late" after five seconds)
//   receive N     answers the hex of up to N bytes the device received,
//                 waiting up to five seconds for them
//   line          answers the port side's termios settings as name=value
//   hangup        the device side hangs up; answers "ok". The COM ports
//                 then name a fresh pseudo-terminal, for the next opens.
//
//   serwyn-pty-device COMNUMBER[,COMNUMBER...] PROGRAM [ARGS...]
//
// The COM ports are links in $WINEPREFIX/dosdevices, made before the program
// starts and removed after it ends.
#include "hex.h"
#include "pty_io.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {


struct Device {
    int master = -1;
    int terminal = -1;  // the port's side, held so the pair outlives Wine's opens
    std::vector<std::string> links;
};

// A new pseudo-terminal pair behind every link; the old pair stays with
// whoever still holds it.
bool plugIn(Device &device)
{
    char name[256];
    if (device.terminal >= 0)
        close(device.terminal);
    if (openpty(&device.master, &device.terminal, name, nullptr, nullptr) != 0) {
        std::perror("pty-device: openpty");
        return false;
    }
    for (const std::string &link : device.links) {
        unlink(link.c_str());
        if (symlink(name, link.c_str()) != 0) {
            std::perror(("pty-device: " + link).c_str());
            return false;
        }
    }
    return true;
}

std::string send(const Device &device, const std::string &bytes)
{
    if (device.master < 0)
        return "failed";
    return sendToTerminal(device.master, device.terminal, bytes) ? "ok" : "late";
}

std::string receive(const Device &device, std::size_t count)
{
    return toHex(receiveFromTerminal(device.master, count));
}

unsigned rateOf(speed_t speed)
{
    const std::pair<speed_t, unsigned> rates[] = {
        {B110, 110},     {B300, 300},     {B1200, 1200},   {B2400, 2400},     {B4800, 4800},
        {B9600, 9600},   {B19200, 19200}, {B38400, 38400}, {B57600, 57600},   {B115200, 115200}};
    for (auto [code, rate] : rates)
        if (code == speed)
            return rate;
    return 0;
}

std::string line(const Device &device)
{
    termios t{};
    if (tcgetattr(device.terminal, &t) != 0)
        return "failed";
    std::ostringstream out;
    const unsigned csize = (t.c_cflag & CSIZE) == CS5 ? 5 : (t.c_cflag & CSIZE) == CS6 ? 6 : (t.c_cflag & CSIZE) == CS7 ? 7 : 8;
    out << "speed=" << rateOf(cfgetospeed(&t)) << " csize=" << csize << " parodd=" << !!(t.c_cflag & PARODD)
        << " cmspar=" << !!(t.c_cflag & CMSPAR) << " cstopb=" << !!(t.c_cflag & CSTOPB)
        << " crtscts=" << !!(t.c_cflag & CRTSCTS) << " ixon=" << !!(t.c_iflag & IXON)
        << " ixoff=" << !!(t.c_iflag & IXOFF)
        << " raw=" << !((t.c_lflag & (ICANON | ECHO | ISIG)) || (t.c_oflag & OPOST) || (t.c_iflag & ICRNL));
    return out.str();
}

std::string answer(Device &device, const std::string &request)
{
    std::istringstream in(request);
    std::string verb, argument;
    in >> verb >> argument;
    if (verb == "send")
        return send(device, fromHex(argument));
    if (verb == "receive")
        return receive(device, std::stoul(argument));
    if (verb == "line")
        return line(device);
    if (verb == "hangup") {
        close(device.master);
        device.master = -1;
        return plugIn(device) ? "ok" : "failed";
    }
    return "unknown request";
}

// Serves the program's requests until it ends; returns its exit status.
int serve(Device &device, int listener, pid_t child)
{
    std::vector<pollfd> fds{{listener, POLLIN, 0}};
    std::vector<std::string> pending(1);
    for (;;) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (poll(fds.data(), fds.size(), 100) <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            int connection = accept(listener, nullptr, nullptr);
            if (connection >= 0) {
                fds.push_back({connection, POLLIN, 0});
                pending.emplace_back();
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char chunk[512];
            ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
            if (n <= 0) {
                close(fds[i].fd);
                fds.erase(fds.begin() + static_cast<long>(i));
                pending.erase(pending.begin() + static_cast<long>(i));
                --i;
                continue;
            }
            pending[i].append(chunk, static_cast<std::size_t>(n));
            for (std::size_t end; (end = pending[i].find('\n')) != std::string::npos;) {
                std::string reply = answer(device, pending[i].substr(0, end)) + "\n";
                pending[i].erase(0, end + 1);
                if (write(fds[i].fd, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size()))
                    std::perror("pty-device: reply");
            }
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    const char *prefix = std::getenv("WINEPREFIX");
    if (argc < 3 || prefix == nullptr || *prefix == '\0') {
        std::fprintf(stderr, "usage: WINEPREFIX=DIR serwyn-pty-device COMNUMBER[,COMNUMBER...] PROGRAM [ARGS...]\n");
        return 2;
    }
    Device device;
    std::istringstream numbers(argv[1]);
    for (std::string number; std::getline(numbers, number, ',');)
        device.links.push_back(std::string(prefix) + "/dosdevices/com" + number);
    if (!plugIn(device))
        return 1;

    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listener, 4) != 0 || getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        std::perror("pty-device: control socket");
        return 1;
    }

    pid_t child = fork();
    if (child < 0) {
        std::perror("pty-device: fork");
        return 1;
    }
    if (child == 0) {
        close(device.master);
        close(device.terminal);
        setenv("SERWYN_DEVICE_CONTROL", std::to_string(ntohs(address.sin_port)).c_str(), 1);
        execvp(argv[2], argv + 2);
        std::perror("pty-device: cannot run the program");
        _exit(127);
    }
    int status = serve(device, listener, child);
    for (const std::string &link : device.links)
        unlink(link.c_str());
    return status;
}
