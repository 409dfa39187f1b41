// corvane-flooder: sends 20-byte datagrams that are not discovery replies to one
// address and port as fast as the system takes them, for a given time or until it
// is stopped (SIGTERM or SIGINT), from one or more processes. It is the hostile
// network of the flood benchmark and tests and runs only in their "lan" network
// namespace: it refuses to start where any other interface exists. It fails when
// a sender sent nothing: a flood that never was must not pass for one.

#include "discovery_packet.h"

#include <arpa/inet.h>
#include <csignal>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int)
{
    stopRequested = 1;
}

// True when the only interfaces are loopback and the namespace's "lan" end.
bool InBenchmarkNamespace()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool onlyOurs = true;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next)
        if (std::strcmp(entry->ifa_name, "lo") != 0 && std::strcmp(entry->ifa_name, "lan") != 0)
            onlyOurs = false;
    ::freeifaddrs(list);
    return onlyOurs;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: corvane-flooder ADDRESS PORT SECONDS [SENDERS]\n");
        return 2;
    }
    if (!InBenchmarkNamespace()) {
        std::fprintf(stderr, "corvane-flooder: runs only in the benchmark's network namespace\n");
        return 1;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(std::uint16_t(std::atoi(argv[2])));
    const double seconds = std::atof(argv[3]);
    const int senders = argc == 5 ? std::atoi(argv[4]) : 1;
    if (::inet_pton(AF_INET, argv[1], &to.sin_addr) != 1 || to.sin_port == 0 || seconds <= 0 || senders < 1 ||
        senders > 16) {
        std::fprintf(stderr, "corvane-flooder: bad address, port, time or number of senders\n");
        return 2;
    }
    struct sigaction stop{};
    stop.sa_handler = RequestStop;
    ::sigaction(SIGTERM, &stop, nullptr);
    ::sigaction(SIGINT, &stop, nullptr);
    std::vector<pid_t> children;
    for (int i = 1; i < senders; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            children.clear();
            break;   // each sender reports its own figures
        }
        if (child > 0)
            children.push_back(child);
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        std::perror("corvane-flooder");
        return 1;
    }

    // Well-formed datagrams of the right size that a window must read and then skip.
    constexpr unsigned BATCH = 64;
    std::vector<DISCOVERY_PACKET> packets(BATCH, BuildSetMask({10, 231, 0, 99}, {255, 255, 255, 0}, {}));
    std::vector<iovec> parts(BATCH);
    std::vector<mmsghdr> messages(BATCH);
    for (unsigned i = 0; i < BATCH; ++i) {
        parts[i] = {&packets[i], sizeof packets[i]};
        messages[i] = {};
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    unsigned long long sent = 0;
    while (!stopRequested && Clock::now() < end) {
        const int n = ::sendmmsg(fd, messages.data(), BATCH, 0);
        if (n > 0)
            sent += unsigned(n);
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("sent %llu datagrams in %.1f s (%.0f a second)\n", sent, elapsed, double(sent) / elapsed);
    std::fflush(stdout);
    ::close(fd);
    // The first sender was the one told to stop: so are the others.
    for (const pid_t child : children)
        ::kill(child, SIGTERM);
    bool allSent = sent > 0;
    int status = 0;
    while (::wait(&status) > 0)
        allSent = allSent && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!allSent)
        std::fprintf(stderr, "corvane-flooder: a sender sent nothing\n");
    return allSent ? 0 : 1;
}
