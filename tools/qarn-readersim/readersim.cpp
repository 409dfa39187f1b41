#include "readersim.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace readersim {

namespace {

constexpr std::uint8_t kRequestStart = 0x81;
constexpr std::uint8_t kReplyStart = 0xF8;
constexpr std::uint8_t kStatusOk = 0x40;

std::uint64_t nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

std::uint8_t toBcd(unsigned value)
{
    return static_cast<std::uint8_t>((value / 10 % 10) * 16 + value % 10);
}

std::vector<std::uint8_t> defaultInformation()
{
    std::vector<std::uint8_t> record(64);
    for (std::size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<std::uint8_t>(i);
    std::uint16_t value = 0x1001;
    for (std::size_t offset : kInfoWordOffsets) {
        record[offset] = static_cast<std::uint8_t>(value >> 8);
        record[offset + 1] = static_cast<std::uint8_t>(value);
        value = static_cast<std::uint16_t>(value + 0x0101);
    }
    return record;
}

} // namespace

ReaderSim::ReaderSim() : information_(defaultInformation())
{
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    path_ = name;
    // Raw until the host configures it, so the pty itself never echoes;
    // holding the slave open keeps the master readable between clients.
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    if (pipe2(wake_, O_CLOEXEC) != 0) {
        ::close(master_);
        ::close(slave_);
        master_ = slave_ = -1;
        return;
    }
    thread_ = std::thread(&ReaderSim::serve, this);
}

ReaderSim::~ReaderSim()
{
    if (thread_.joinable()) {
        const char stop = 0;
        while (write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    for (int fd : {master_, slave_, wake_[0], wake_[1]})
        if (fd >= 0)
            ::close(fd);
}

void ReaderSim::serve()
{
    for (;;) {
        int waitMs = -1;
        if (!pending_.empty()) {
            const std::uint64_t now = nowMs();
            const std::uint64_t due = pending_.front().dueMs;
            waitMs = due <= now ? 0 : static_cast<int>(due - now);
        }
        pollfd watch[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(watch, 2, waitMs) < 0 && errno != EINTR)
            return;
        if (watch[1].revents)
            return;
        if (watch[0].revents & POLLIN) {
            std::uint8_t bytes[512];
            ssize_t got = read(master_, bytes, sizeof bytes);
            std::vector<std::uint8_t> echo;
            for (ssize_t i = 0; i < got; ++i)
                if (take(bytes[i]))
                    echo.push_back(bytes[i]);
            send(echo);
        }
        while (!pending_.empty() && pending_.front().dueMs <= nowMs()) {
            send(pending_.front().bytes);
            pending_.pop_front();
        }
    }
}

void ReaderSim::send(const std::vector<std::uint8_t> &bytes)
{
    // A host that does not read loses bytes here rather than stalling us.
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = write(master_, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN)
                return;
            pollfd watch{master_, POLLOUT, 0};
            if (poll(&watch, 1, 100) <= 0)
                return;
            continue;
        }
        done += static_cast<std::size_t>(written);
    }
}

bool ReaderSim::take(std::uint8_t byte)
{
    if (frame_.empty()) {
        if (byte != kRequestStart) {
            std::lock_guard lock(mutex_);
            ++stray_;
            return true;
        }
        std::lock_guard lock(mutex_);
        current_ = InjectedFault{};
        if (!faults_.empty()) {
            current_ = std::move(faults_.front());
            faults_.pop_front();
        }
    }
    const bool echoed = current_.kind != Fault::NoEcho;
    frame_.push_back(byte);
    if (frame_.size() < 4 || frame_.size() < 4u + frame_[2])
        return echoed;

    std::uint8_t checksum = 0;
    for (std::uint8_t b : frame_)
        checksum ^= b;
    // A request that fails its checksum goes unanswered, as on a noisy line.
    if (checksum == 0) {
        Request request{frame_[1], std::vector<std::uint8_t>(frame_.begin() + 3, frame_.end() - 1)};
        answer(request, current_);
    } else {
        std::lock_guard lock(mutex_);
        stray_ += frame_.size();
    }
    frame_.clear();
    return echoed;
}

void ReaderSim::answer(const Request &request, const InjectedFault &fault)
{
    std::uint8_t status = kStatusOk;
    std::vector<std::uint8_t> payload;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        payload = reply(request, status);
        if (answerNothing_)
            return;
    }
    if (fault.kind == Fault::UnexpectedStatus)
        status = fault.status;
    if (fault.kind == Fault::CustomReply) {
        status = fault.status;
        payload = fault.payload;
    }

    std::vector<std::uint8_t> bytes{kReplyStart, status, static_cast<std::uint8_t>(payload.size())};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    std::uint8_t checksum = 0;
    for (std::uint8_t b : bytes)
        checksum ^= b;
    bytes.push_back(checksum);

    std::uint64_t due = nowMs();
    switch (fault.kind) {
    case Fault::NoReply: return;
    case Fault::WrongStart: bytes[0] = 0xF9; break;
    case Fault::BadChecksum: bytes.back() ^= 0xFF; break;
    case Fault::CutAfterStatus: bytes.resize(2); break;
    case Fault::CutAfterLength: bytes.resize(3); break;
    case Fault::CutInPayload: bytes.resize(3 + payload.size() / 2); break;
    case Fault::CutBeforeChecksum: bytes.pop_back(); break;
    case Fault::SlowFirstByte: due += fault.delayMs; break;
    default: break;
    }
    pending_.push_back({due, std::move(bytes)});
}

// The reader's side of each command; called with the state locked.
std::vector<std::uint8_t> ReaderSim::reply(const Request &request, std::uint8_t &status)
{
    const std::vector<std::uint8_t> &in = request.payload;
    std::vector<std::uint8_t> out;
    switch (request.command) {
    case 0xA0:
        if (in.size() == clock_.size())
            std::copy(in.begin(), in.end(), clock_.begin());
        break;
    case 0xB2:
        out.assign(clock_.begin(), clock_.end());
        out[0] = toBcd(clock_[0] % 100);
        break;
    case 0xB4:
        out = information_;
        break;
    case 0xB5:
        for (std::uint16_t length : fileLengths_) {
            out.push_back(static_cast<std::uint8_t>(length));
            out.push_back(static_cast<std::uint8_t>(length >> 8));
        }
        break;
    case 0xA2:
    case 0xA4:
        files_[request.command == 0xA4].clear();
        [[fallthrough]];
    case 0xA3:
    case 0xA5:
        if (!in.empty())
            files_[request.command >= 0xA4].insert(files_[request.command >= 0xA4].end(),
                                                   in.begin() + 1, in.end());
        status = request.command >= 0xA4 ? 0x20 : 0x10;
        break;
    case 0xA6:
        records_.push_back(in);
        status = 0x30;
        break;
    case 0xB0:
        if (endlessLog_) {
            const std::uint32_t n = endlessCount_++;
            out = {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n), 0, 0x25};
        } else if (log_.empty()) {
            status = 'Q';
        } else {
            out = log_.front();
        }
        break;
    case 0xB1:
        if (refuseAcks_)
            status = 'S';
        else if (!log_.empty() && !ignoreAcks_)
            log_.pop_front();
        break;
    default:
        // Open, close and the pass-through commands: the command code and
        // whatever data came with it.
        out.push_back(request.command);
        out.insert(out.end(), in.begin(), in.end());
        break;
    }
    return out;
}

void ReaderSim::queueFault(InjectedFault fault)
{
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(fault));
}

void ReaderSim::queueLogRecord(std::vector<std::uint8_t> record)
{
    std::lock_guard lock(mutex_);
    log_.push_back(std::move(record));
}

void ReaderSim::refuseAcknowledgements(bool refuse)
{
    std::lock_guard lock(mutex_);
    refuseAcks_ = refuse;
}

void ReaderSim::ignoreAcknowledgements(bool ignore)
{
    std::lock_guard lock(mutex_);
    ignoreAcks_ = ignore;
}

void ReaderSim::endlessLog(bool endless)
{
    std::lock_guard lock(mutex_);
    endlessLog_ = endless;
}

void ReaderSim::answerNothing(bool silent)
{
    std::lock_guard lock(mutex_);
    answerNothing_ = silent;
}

void ReaderSim::setInformation(std::vector<std::uint8_t> record)
{
    std::lock_guard lock(mutex_);
    information_ = std::move(record);
}

void ReaderSim::setFileLengths(std::uint16_t length1, std::uint16_t length2, std::uint16_t length3)
{
    std::lock_guard lock(mutex_);
    fileLengths_ = {length1, length2, length3};
}

std::vector<Request> ReaderSim::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void ReaderSim::forgetRequests()
{
    std::lock_guard lock(mutex_);
    requests_.clear();
}

ClockRecord ReaderSim::clock() const
{
    std::lock_guard lock(mutex_);
    return clock_;
}

std::vector<std::uint8_t> ReaderSim::file(int type) const
{
    std::lock_guard lock(mutex_);
    return files_[type == 2];
}

std::vector<std::vector<std::uint8_t>> ReaderSim::records() const
{
    std::lock_guard lock(mutex_);
    return records_;
}

std::size_t ReaderSim::logRecordsLeft() const
{
    std::lock_guard lock(mutex_);
    return log_.size();
}

std::size_t ReaderSim::strayBytes() const
{
    std::lock_guard lock(mutex_);
    return stray_;
}

} // namespace readersim
