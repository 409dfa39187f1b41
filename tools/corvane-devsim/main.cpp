// corvane-devsim: answers discovery probes as a number of devices and applies
// address and mask changes to them, so Corvane can be run and tested without hardware.

#include "options.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int)
{
    g_stop = 1;
}

using Clock = std::chrono::steady_clock;

struct PendingSend {
    Clock::time_point due;
    sockaddr_in to;
    std::vector<std::uint8_t> bytes;
};

int OpenSocket(const DevsimOptions& options, sockaddr_in& bound)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return -1;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // To tell a broadcast probe from one sent straight to us.
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
    bound = {};
    bound.sin_family = AF_INET;
    bound.sin_port = htons(std::uint16_t(options.port));
    if (::inet_pton(AF_INET, options.bindAddress.c_str(), &bound.sin_addr) != 1) {
        errno = EINVAL;
        ::close(fd);
        return -1;
    }
    socklen_t length = sizeof bound;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

std::string Describe(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

// Like recvfrom, and also tells the address the datagram was sent to.
ssize_t ReceiveDatagram(int fd, std::uint8_t* buffer, std::size_t capacity, sockaddr_in& from, in_addr& destination)
{
    iovec data{buffer, capacity};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t size = ::recvmsg(fd, &message, 0);
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); size >= 0 && c != nullptr; c = CMSG_NXTHDR(&message, c))
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO)
            destination = reinterpret_cast<const in_pktinfo*>(CMSG_DATA(c))->ipi_addr;
    return size;
}

void SendDue(int fd, std::deque<PendingSend>& pending)
{
    const Clock::time_point now = Clock::now();
    while (!pending.empty() && pending.front().due <= now) {
        const PendingSend& send = pending.front();
        ::sendto(fd, send.bytes.data(), send.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&send.to),
                 sizeof send.to);
        pending.pop_front();
    }
}

int PollTimeoutMs(const std::deque<PendingSend>& pending)
{
    if (pending.empty())
        return 500;   // wake now and then to notice a stop signal
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(pending.front().due - Clock::now());
    return int(std::clamp<long long>(wait.count(), 0, 500));
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    DevsimOptions options;
    std::string error;
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(DEVSIM_USAGE, stdout);
        return 0;
    }
    if (!ParseDevsimOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "corvane-devsim: %s\n%s", error.c_str(), DEVSIM_USAGE);
        return 2;
    }

    sockaddr_in bound{};
    const int fd = OpenSocket(options, bound);
    if (fd < 0) {
        std::fprintf(stderr, "corvane-devsim: cannot listen on %s port %d: %s\n", options.bindAddress.c_str(),
                     options.port, std::strerror(errno));
        return 1;
    }
    struct sigaction stop{};
    stop.sa_handler = OnStopSignal;
    ::sigaction(SIGTERM, &stop, nullptr);
    ::sigaction(SIGINT, &stop, nullptr);

    SimulatedDevices devices(options.devices, options.misbehaviour);
    std::printf("listening on %s port %d as %zu devices\n", options.bindAddress.c_str(), ntohs(bound.sin_port),
                options.devices.size());

    std::deque<PendingSend> pending;
    while (!g_stop) {
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, PollTimeoutMs(pending));
        SendDue(fd, pending);
        if (ready <= 0 || !(waiting.revents & POLLIN))
            continue;
        std::uint8_t buffer[2048];
        sockaddr_in from{};
        in_addr destination{};
        const ssize_t size = ReceiveDatagram(fd, buffer, sizeof buffer, from, destination);
        if (size < 0)
            continue;
        std::string log;
        const std::vector<OutgoingDatagram> answers = devices.Receive(buffer, std::size_t(size), log);
        char sentTo[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &destination, sentTo, sizeof sentTo);
        std::printf("%s from %s to %s\n", log.c_str(), Describe(from).c_str(), sentTo);
        if (options.logBytes) {
            std::printf("bytes");
            for (ssize_t i = 0; i < size; ++i)
                std::printf(" %02X", buffer[i]);
            std::printf("\n");
        }
        sockaddr_in to = from;
        if (options.replyByBroadcast)
            to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        const Clock::time_point due = Clock::now() + std::chrono::milliseconds(options.delayMs);
        for (const OutgoingDatagram& answer : answers)
            pending.push_back({due, to, answer.bytes});
        SendDue(fd, pending);
    }
    ::close(fd);
    std::printf("stopped\n");
    return 0;
}
