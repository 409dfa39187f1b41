// QARNAPI's operations against a scripted reader on the test suite's fake
// link. For every request the input decides the echo (faithful, missing, cut
// short, lying) and the reply (a well-formed frame of any status and length,
// raw bytes, silence, a frame cut short or late). Checked: every result is one
// the operation documents; every request on the line is well framed; no
// operation makes more than six attempts per command; caller buffers are
// exact-size allocations, untouched on failure and never written past what
// the operation hands out; and where the first attempt met a clean reply, the
// result and the bytes handed out are exactly what that reply says.
#include "fake_link.h"
#include "fuzz_check.h"
#include "qarnapi.h"
#include "reader_session.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kFill = 0xA5;

// A caller's buffer: exactly the size the operation documents, so the address
// sanitizer sees a write past it, and filled so that writes inside it show.
struct CallerBuffer {
    explicit CallerBuffer(std::size_t n) : size(n), bytes(new std::uint8_t[n]) { std::memset(bytes.get(), kFill, n); }
    std::uint8_t *get() { return bytes.get(); }
    std::uint8_t operator[](std::size_t i) const { return bytes[i]; }
    bool untouchedFrom(std::size_t first) const
    {
        for (std::size_t i = first; i < size; ++i)
            if (bytes[i] != kFill)
                return false;
        return true;
    }
    bool untouched() const { return untouchedFrom(0); }

    std::size_t size;
    std::unique_ptr<std::uint8_t[]> bytes;
};

// What the reader did with one request.
struct Answer {
    bool clean = false;   // faithful echo and a whole, well-formed reply at once, nothing stale before it
    std::uint8_t status = 0;
    Bytes payload;

    // The frame buffer as a clean reply leaves it, for the indexes it clears (0 to 49).
    std::uint8_t frameByte(std::size_t index) const
    {
        Bytes frame = FakeLink::frame(status, payload);
        return index < frame.size() ? frame[index] : 0;
    }
    std::uint8_t payloadByte(std::size_t offset) const { return frameByte(3 + offset); }
};

std::uint8_t expectedStatusFor(std::uint8_t command)
{
    switch (command) {
    case qarn::CMD_FILE1_FIRST: case qarn::CMD_FILE1_NEXT: return qarn::STATUS_FILE1_ACK;
    case qarn::CMD_FILE2_FIRST: case qarn::CMD_FILE2_NEXT: return qarn::STATUS_FILE2_ACK;
    case qarn::CMD_FILE3_RECORD: return qarn::STATUS_FILE3_ACK;
    default: return qarn::STATUS_OK;
    }
}

std::uint8_t bcdToBin(std::uint8_t b) { return static_cast<std::uint8_t>((b >> 4) * 10 + (b & 0x0F)); }

struct Run {
    explicit Run(FuzzedDataProvider &in) : input(in)
    {
        link.echoes = false;   // the scripted reader decides the echo
        link.reader = [this](FakeLink &l, const Bytes &request) { answer(l, request); };
    }

    FuzzedDataProvider &input;
    FakeLink link;
    qarn::ReaderSession session{link};
    std::vector<Answer> answers;              // one per request written
    std::array<std::uint8_t, 255> retained{};  // the log record QARNGetLogData hands out again

    void answer(FakeLink &l, const Bytes &request);
    void step();

    // Every request written since `first` is one well-formed frame of an allowed command.
    void checkRequests(std::size_t first, std::initializer_list<std::uint8_t> commands) const
    {
        for (std::size_t i = first; i < link.writes.size(); ++i) {
            const Bytes &w = link.writes[i];
            FUZZ_CHECK(w.size() >= 4 && w[0] == qarn::REQUEST_START);
            FUZZ_CHECK(w.size() == std::size_t{w[2]} + 4u);
            std::uint8_t x = 0;
            for (std::uint8_t b : w)
                x ^= b;
            FUZZ_CHECK(x == 0);
            FUZZ_CHECK(std::find(commands.begin(), commands.end(), w[1]) != commands.end());
        }
    }
    // One command: at least one attempt, at most six, all of the same request.
    void checkOneCommand(std::size_t first) const
    {
        const std::size_t made = link.writes.size() - first;
        FUZZ_CHECK(made >= 1 && made <= static_cast<std::size_t>(qarn::kAttempts));
        for (std::size_t i = first + 1; i < link.writes.size(); ++i)
            FUZZ_CHECK(link.writes[i] == link.writes[first]);
        if (answers[first].clean)
            FUZZ_CHECK(made == 1);   // a clean reply is taken at the first attempt
    }
    // A reply taken as an answer is a whole frame whose checksum holds.
    void checkAcceptedReply() const
    {
        const qarn::FrameExchange &fx = session.exchange;
        FUZZ_CHECK(fx.frame[0] == qarn::REPLY_START);
        FUZZ_CHECK(fx.frameLength == std::size_t{fx.frame[2]} + 4u);
        std::uint8_t x = 0;
        for (std::size_t i = 0; i < fx.frameLength; ++i)
            x ^= fx.frame[i];
        FUZZ_CHECK(x == 0);
    }
    const Answer *cleanFirst(std::size_t first) const
    {
        return first < answers.size() && answers[first].clean ? &answers[first] : nullptr;
    }
    std::int32_t handleFor()
    {
        // Mostly the current handle; sometimes another, which must be refused untouched.
        if (input.ConsumeIntegralInRange(0, 7) == 0)
            return input.ConsumeIntegral<std::int32_t>();
        return session.currentHandle;
    }

    void sendFile(std::int32_t handle);
};

void Run::answer(FakeLink &l, const Bytes &request)
{
    Answer a;
    const bool stale = !l.incoming.empty();

    const int echo = input.ConsumeIntegralInRange(0, 7);
    bool faithful = false;
    if (echo <= 4) {
        l.arrive(request);
        faithful = true;
    } else if (echo == 6) {   // cut short
        l.arrive(Bytes(request.begin(), request.begin() + input.ConsumeIntegralInRange<std::size_t>(0, request.size() - 1)));
    } else if (echo == 7) {   // a byte changed on the way back, the length byte included
        Bytes lie = request;
        const std::size_t at = input.ConsumeIntegralInRange<std::size_t>(0, lie.size() - 1);
        lie[at] = input.ConsumeIntegral<std::uint8_t>();
        faithful = lie == request;
        l.arrive(lie);
    }

    const int reply = input.ConsumeIntegralInRange(0, 7);
    if (reply <= 3 || reply >= 6) {
        switch (input.ConsumeIntegralInRange(0, 7)) {
        case 4: a.status = qarn::STATUS_Q; break;
        case 5: a.status = qarn::STATUS_R; break;
        case 6: a.status = qarn::STATUS_S; break;
        case 7: a.status = input.ConsumeIntegral<std::uint8_t>(); break;
        default: a.status = expectedStatusFor(request[1]);
        }
        const auto length = input.ConsumeIntegral<std::uint8_t>();
        a.payload = input.ConsumeBytes<std::uint8_t>(length);
        a.payload.resize(length);
        const Bytes frame = FakeLink::frame(a.status, a.payload);
        if (reply <= 3) {
            l.arrive(frame);
            a.clean = faithful && !stale;
        } else if (reply == 6) {   // stops part-way
            l.arrive(Bytes(frame.begin(), frame.begin() + input.ConsumeIntegralInRange<std::size_t>(0, frame.size() - 1)));
        } else {   // a pause before one of its bytes, up to past the longest first-byte wait
            const std::size_t at = input.ConsumeIntegralInRange<std::size_t>(0, frame.size() - 1);
            const std::uint32_t pause = input.ConsumeIntegralInRange<std::uint32_t>(0, 5200);
            for (std::size_t i = 0; i < frame.size(); ++i)
                l.incoming.push_back({l.now + (i >= at ? pause : 0), frame[i]});
        }
    } else if (reply == 4) {   // whatever bytes
        l.arrive(input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 300)));
    }   // 5: silence
    answers.push_back(std::move(a));
}

void Run::step()
{
    const std::size_t first = link.writes.size();
    const std::int32_t current = session.currentHandle;

    switch (input.ConsumeIntegralInRange(0, 12)) {
    case 0: {   // QARNOpenReader
        auto handle = std::make_unique<std::int32_t>(-7);
        const std::int32_t address = input.ConsumeIntegral<std::int32_t>();
        const std::int32_t result = qarn::OpenReader(session, handle.get(), address);
        FUZZ_CHECK(result == RC_OK || result == RC_FAILED);
        FUZZ_CHECK(*handle == 0 || *handle == 1);
        FUZZ_CHECK(session.currentHandle == *handle);
        if (result == RC_OK) {
            FUZZ_CHECK(*handle == 0);
            checkAcceptedReply();
        }
        checkRequests(first, {qarn::CMD_OPEN_READER, qarn::CMD_SET_TIME});
        FUZZ_CHECK(link.writes[first][1] == qarn::CMD_OPEN_READER);
        FUZZ_CHECK(link.writes[first][3] == static_cast<std::uint8_t>(address));
        if (const Answer *a = cleanFirst(first))
            FUZZ_CHECK(*handle == (a->status == qarn::STATUS_OK ? 0 : 1));
        break;
    }
    case 1: {   // TRQOpenReader with a six-byte identification
        CallerBuffer identification(6);
        for (std::size_t i = 0; i < 6; ++i)
            identification.get()[i] = input.ConsumeIntegral<std::uint8_t>();
        auto handle = std::make_unique<std::int32_t>(-7);
        const std::int32_t result = qarn::TrqOpenReader(session, handle.get(), identification.get());
        FUZZ_CHECK(result == RC_OK || result == RC_FAILED);
        FUZZ_CHECK(*handle == (result == RC_OK ? 0 : 1));
        FUZZ_CHECK(session.currentHandle == *handle);
        checkRequests(first, {qarn::CMD_OPEN_READER});
        checkOneCommand(first);
        if (result == RC_OK)
            checkAcceptedReply();
        FUZZ_CHECK(link.writes[first][3] == identification[0]);
        if (const Answer *a = cleanFirst(first))
            FUZZ_CHECK((result == RC_OK) == (a->status == qarn::STATUS_OK));
        break;
    }
    case 2: {   // QARNCloseReader and TRQCloseReader
        const std::int32_t handle = handleFor();
        const std::int32_t result =
            input.ConsumeBool() ? qarn::CloseReader(session, handle) : qarn::TrqCloseReader(session, handle);
        FUZZ_CHECK(result == RC_OK || result == RC_BAD_HANDLE || result == RC_FAILED);
        if (handle != current) {
            FUZZ_CHECK(result == RC_BAD_HANDLE && link.writes.size() == first);
            break;
        }
        checkRequests(first, {qarn::CMD_CLOSE_READER});
        checkOneCommand(first);
        if (result == RC_OK)
            checkAcceptedReply();
        FUZZ_CHECK(session.currentHandle == current);   // closing changes no state
        if (const Answer *a = cleanFirst(first))
            FUZZ_CHECK((result == RC_OK) == (a->status == qarn::STATUS_OK));
        break;
    }
    case 3: {   // QARNSetTime: the seven bytes go out unchanged
        const std::int32_t handle = handleFor();
        CallerBuffer clock(qarn::kClockRecordSize);
        for (std::size_t i = 0; i < clock.size; ++i)
            clock.get()[i] = input.ConsumeIntegral<std::uint8_t>();
        const std::int32_t result = qarn::SetTime(session, handle, clock.get());
        FUZZ_CHECK(result == RC_OK || result == RC_BAD_HANDLE || result == RC_FAILED);
        if (handle != current) {
            FUZZ_CHECK(result == RC_BAD_HANDLE && link.writes.size() == first);
            break;
        }
        checkRequests(first, {qarn::CMD_SET_TIME});
        checkOneCommand(first);
        if (result == RC_OK)
            checkAcceptedReply();
        FUZZ_CHECK(Bytes(link.writes[first].begin() + 3, link.writes[first].end() - 1) ==
                   Bytes(clock.get(), clock.get() + clock.size));
        if (const Answer *a = cleanFirst(first))
            FUZZ_CHECK((result == RC_OK) == (a->status == qarn::STATUS_OK));
        break;
    }
    case 4: {   // QARNGetTime into a seven-byte buffer
        const std::int32_t handle = handleFor();
        CallerBuffer clock(qarn::kClockRecordSize);
        const std::int32_t result = qarn::GetTime(session, handle, clock.get());
        FUZZ_CHECK(result == RC_OK || result == RC_BAD_HANDLE || result == RC_FAILED);
        if (result != RC_OK)
            FUZZ_CHECK(clock.untouched());
        if (handle != current) {
            FUZZ_CHECK(result == RC_BAD_HANDLE && link.writes.size() == first);
            break;
        }
        checkRequests(first, {qarn::CMD_GET_TIME});
        checkOneCommand(first);
        if (const Answer *a = cleanFirst(first)) {
            FUZZ_CHECK((result == RC_OK) == (a->status == qarn::STATUS_OK));
            if (result == RC_OK) {
                FUZZ_CHECK(clock[0] == bcdToBin(a->payloadByte(0)));
                for (std::size_t i = 1; i < clock.size; ++i)
                    FUZZ_CHECK(clock[i] == a->payloadByte(i));
            }
        }
        break;
    }
    case 5: {   // QARNGetReaderInfo into a 255-byte buffer
        const std::int32_t handle = handleFor();
        CallerBuffer info(255);
        const std::int32_t result = qarn::GetReaderInfo(session, handle, info.get());
        FUZZ_CHECK(result == RC_OK || result == RC_BAD_HANDLE || result == RC_FAILED);
        if (result != RC_OK)
            FUZZ_CHECK(info.untouched());
        if (handle != current) {
            FUZZ_CHECK(result == RC_BAD_HANDLE && link.writes.size() == first);
            break;
        }
        checkRequests(first, {qarn::CMD_GET_INFO});
        checkOneCommand(first);
        if (const Answer *a = cleanFirst(first)) {
            FUZZ_CHECK((result == RC_OK) == (a->status == qarn::STATUS_OK));
            if (result == RC_OK) {
                const std::size_t n = a->payload.size();
                FUZZ_CHECK(info.untouchedFrom(n));
                // The eight 16-bit fields turned low byte first, every other byte as received.
                Bytes expected = a->payload;
                for (std::size_t offset : {11, 13, 19, 25, 31, 37, 42, 48})
                    if (offset + 1 < n)
                        std::swap(expected[offset], expected[offset + 1]);
                for (std::size_t i = 0; i < n; ++i) {
                    const bool pairCut = (n == 12 && i == 11) || (n == 14 && i == 13) || (n == 20 && i == 19) ||
                                         (n == 26 && i == 25) || (n == 32 && i == 31) || (n == 38 && i == 37) ||
                                         (n == 43 && i == 42) || (n == 49 && i == 48);
                    if (!pairCut)
                        FUZZ_CHECK(info[i] == expected[i]);
                }
            }
        }
        break;
    }
    case 6: {   // QARNGetFileLen into three 32-bit integers
        const std::int32_t handle = handleFor();
        CallerBuffer lengths(3 * sizeof(std::uint32_t));
        auto *values = reinterpret_cast<std::uint32_t *>(lengths.get());
        const std::int32_t result = qarn::GetFileLen(session, handle, values, values + 1, values + 2);
        FUZZ_CHECK(result == RC_OK || result == RC_BAD_HANDLE || result == RC_FAILED);
        if (result != RC_OK)
            FUZZ_CHECK(lengths.untouched());
        if (handle != current) {
            FUZZ_CHECK(result == RC_BAD_HANDLE && link.writes.size() == first);
            break;
        }
        checkRequests(first, {qarn::CMD_GET_FILE_LEN});
        checkOneCommand(first);
        if (result == RC_OK)
            checkAcceptedReply();
        if (const Answer *a = cleanFirst(first)) {
            FUZZ_CHECK((result == RC_OK) == (a->status == qarn::STATUS_OK));
            if (result == RC_OK)
                for (std::size_t i = 0; i < 3; ++i)
                    FUZZ_CHECK(values[i] == a->payloadByte(2 * i) + 256u * a->payloadByte(2 * i + 1));
        }
        break;
    }
    case 7: {   // QARNGetLogData into a 255-byte buffer and a length byte
        const std::int32_t handle = handleFor();
        CallerBuffer record(255), length(1);
        const std::int32_t result = qarn::GetLogData(session, handle, record.get(), length.get());
        FUZZ_CHECK(result == RC_OK || result == RC_LOG_E4 || result == RC_LOG_E5 || result == RC_BAD_HANDLE ||
                   result == RC_FAILED);
        if (result != RC_OK)
            FUZZ_CHECK(record.untouched() && length.untouched());
        if (handle != current) {
            FUZZ_CHECK(result == RC_BAD_HANDLE && link.writes.size() == first);
            break;
        }
        checkRequests(first, {qarn::CMD_GET_LOG});
        checkOneCommand(first);
        const Answer *a = cleanFirst(first);
        if (a) {
            const std::int32_t expected = a->status == qarn::STATUS_Q   ? RC_LOG_E4
                                          : a->status == qarn::STATUS_R ? RC_LOG_E5
                                                                        : RC_OK;
            FUZZ_CHECK(result == expected);
        }
        if (result != RC_OK)
            break;
        const std::size_t n = length[0];
        if (a)
            FUZZ_CHECK(n == a->payload.size());
        if (a && a->payload.size() > 5 && a->payload[5] == 0xFF) {
            // Stands for the record handed out before: its first 16 bytes again. A
            // record of five bytes or fewer has no byte 5 and is always its own.
            FUZZ_CHECK(std::equal(record.get(), record.get() + 16, retained.begin()));
            FUZZ_CHECK(record.untouchedFrom(16));
        } else if (a) {
            Bytes expected = a->payload;
            if (n > 5)
                expected[5] = bcdToBin(expected[5]);
            FUZZ_CHECK(std::equal(expected.begin(), expected.end(), record.get()));
            FUZZ_CHECK(record.untouchedFrom(n));
            std::copy(expected.begin(), expected.end(), retained.begin());
        } else {
            // Without a clean reply, the record is either a new one of n bytes or the retained 16.
            const bool asNew = record.untouchedFrom(n);
            const bool asRetained =
                record.untouchedFrom(16) && std::equal(record.get(), record.get() + 16, retained.begin());
            FUZZ_CHECK(asNew || asRetained);
            if (!asRetained || n >= 16)
                std::copy(record.get(), record.get() + n, retained.begin());
        }
        break;
    }
    case 8: {   // QARNGetLogAck
        const std::int32_t handle = handleFor();
        const std::int32_t value = input.ConsumeIntegral<std::int32_t>();
        const std::int32_t result = qarn::GetLogAck(session, handle, value);
        FUZZ_CHECK(result == RC_OK || result == RC_LOG_E4 || result == RC_BAD_HANDLE || result == RC_FAILED);
        if (handle != current) {
            FUZZ_CHECK(result == RC_BAD_HANDLE && link.writes.size() == first);
            break;
        }
        checkRequests(first, {qarn::CMD_LOG_ACK});
        checkOneCommand(first);
        if (result != RC_FAILED)
            checkAcceptedReply();
        FUZZ_CHECK(link.writes[first][3] == static_cast<std::uint8_t>(value));
        if (const Answer *a = cleanFirst(first))
            FUZZ_CHECK(result == (a->status == qarn::STATUS_S ? RC_LOG_E4 : RC_OK));
        break;
    }
    case 9: {   // TRQGetLogEntry: fetch and acknowledge in one call
        const std::int32_t handle = handleFor();
        CallerBuffer record(255), length(1);
        const std::int32_t result = qarn::TrqGetLogEntry(session, handle, record.get(), length.get());
        FUZZ_CHECK(result == RC_OK || result == RC_LOG_E4 || result == RC_LOG_E5 || result == RC_BAD_HANDLE ||
                   result == RC_FAILED);
        if (handle != current) {
            FUZZ_CHECK(result == RC_BAD_HANDLE && link.writes.size() == first && record.untouched());
            break;
        }
        checkRequests(first, {qarn::CMD_GET_LOG, qarn::CMD_LOG_ACK});
        FUZZ_CHECK(link.writes.size() - first <= 2u * qarn::kAttempts);
        const bool acknowledged = link.writes.back()[1] == qarn::CMD_LOG_ACK;
        if (!acknowledged)
            FUZZ_CHECK(result != RC_OK && record.untouched() && length.untouched());
        else
            FUZZ_CHECK(record.untouchedFrom(length[0]));   // the record was handed out, nothing past it
        if (const Answer *a = cleanFirst(first)) {
            if (a->status == qarn::STATUS_Q || a->status == qarn::STATUS_R) {
                FUZZ_CHECK(result == (a->status == qarn::STATUS_Q ? RC_LOG_E4 : RC_LOG_E5) && !acknowledged);
            } else {
                FUZZ_CHECK(acknowledged && length[0] == a->payload.size());
                Bytes expected = a->payload;
                if (expected.size() > 5)
                    expected[5] = bcdToBin(expected[5]);
                FUZZ_CHECK(std::equal(expected.begin(), expected.end(), record.get()));
                if (const Answer *ack = cleanFirst(first + 1))
                    FUZZ_CHECK(result == (ack->status == qarn::STATUS_S ? RC_LOG_E4 : RC_OK));
            }
        }
        break;
    }
    case 10: {   // QARNSpecialCommand and TRQUserCommand
        const std::int32_t handle = handleFor();
        const std::int32_t commandLength = input.ConsumeIntegralInRange<std::int32_t>(0, 300);
        CallerBuffer command(static_cast<std::size_t>(commandLength));
        static const std::uint8_t kinds[] = {0x84, 0x86, 0x89, 0x8A, 0x8B, 0x8C, 0x85, 0x00};
        for (std::size_t i = 0; i < command.size; ++i)
            command.get()[i] = input.ConsumeIntegral<std::uint8_t>();
        if (command.size > 0 && input.ConsumeBool())
            command.get()[0] = kinds[input.ConsumeIntegralInRange(0, 7)];
        CallerBuffer reply(255), replyLength(1);
        const std::int32_t result =
            qarn::SpecialCommand(session, handle, command.get(), commandLength, reply.get(), replyLength.get());
        FUZZ_CHECK(result == RC_OK || result == RC_BAD_HANDLE || result == RC_FAILED);
        if (result != RC_OK)
            FUZZ_CHECK(reply.untouched() && replyLength.untouched());
        if (handle != current) {
            FUZZ_CHECK(result == RC_BAD_HANDLE && link.writes.size() == first);
            break;
        }
        const std::size_t used = static_cast<std::uint8_t>(commandLength);
        std::uint8_t sent = 0;
        if (used > 0) {
            switch (command[0]) {
            case 0x84: sent = used >= 2 && command[1] == 0 ? qarn::CMD_B3 : 0; break;
            case 0x86: sent = qarn::CMD_USER_DATA; break;
            case 0x89: sent = qarn::CMD_A7; break;
            case 0x8A: sent = qarn::CMD_A8; break;
            case 0x8B: sent = qarn::CMD_A9; break;
            case 0x8C: sent = qarn::CMD_AA; break;
            }
        }
        if (sent == 0) {
            // Nothing the reader knows: refused without a word on the line.
            FUZZ_CHECK(result == RC_FAILED && link.writes.size() == first);
            break;
        }
        checkRequests(first, {sent});
        checkOneCommand(first);
        if (sent == qarn::CMD_USER_DATA)
            FUZZ_CHECK(Bytes(link.writes[first].begin() + 3, link.writes[first].end() - 1) ==
                       Bytes(command.get() + 1, command.get() + used));
        else
            FUZZ_CHECK(link.writes[first][2] == 0);
        if (result == RC_OK) {
            checkAcceptedReply();
            FUZZ_CHECK(reply.untouchedFrom(replyLength[0]));
        }
        if (const Answer *a = cleanFirst(first)) {
            FUZZ_CHECK((result == RC_OK) == (a->status == qarn::STATUS_OK));
            if (result == RC_OK)
                FUZZ_CHECK(replyLength[0] == a->payload.size() &&
                           std::equal(a->payload.begin(), a->payload.end(), reply.get()));
        }
        break;
    }
    case 11:
        sendFile(handleFor());
        break;
    case 12: {   // the port closed and opened again: the reader state stays
        FUZZ_CHECK(qarn::StartApi(session, input.ConsumeIntegral<std::uint16_t>()) == RC_OK);
        FUZZ_CHECK(session.currentHandle == current);
        break;
    }
    }
}

// QARNSendFile and TRQSendFile: every block on the line is the next stretch of
// the caller's data (or a repeat of the last one), and a download reported
// complete put every byte of the file on the line.
void Run::sendFile(std::int32_t handle)
{
    const std::size_t first = link.writes.size();
    const std::int32_t current = session.currentHandle;
    static const std::int32_t types[] = {1, 2, 3, 0, 4, 0x0101};
    const std::int32_t type = types[input.ConsumeIntegralInRange(0, 5)];
    std::size_t length;
    if ((type & 0xFF) == 3 && input.ConsumeBool())
        length = 40 * (input.ConsumeBool() ? input.ConsumeIntegralInRange<std::size_t>(0, 12)
                                           : input.ConsumeIntegralInRange<std::size_t>(250, 260));
    else
        length = input.ConsumeIntegralInRange<std::size_t>(0, 1100);
    CallerBuffer data(length);
    const Bytes content = input.ConsumeBytes<std::uint8_t>(length);
    std::copy(content.begin(), content.end(), data.get());
    // Each 252-byte stretch starts differently, so a repeat is told from the next block.
    for (std::size_t i = 1; 252 * i < length; ++i)
        data.get()[252 * i] = static_cast<std::uint8_t>(i);

    const std::int32_t result = qarn::SendFile(session, handle, type, static_cast<std::int32_t>(length), data.get());
    FUZZ_CHECK(result == RC_OK || result == RC_BAD_HANDLE || result == RC_FAILED);
    if (handle != current) {
        FUZZ_CHECK(result == RC_BAD_HANDLE && link.writes.size() == first);
        return;
    }
    const std::size_t made = link.writes.size() - first;
    bool allClean = true, allAcknowledged = true;
    for (std::size_t i = first; i < answers.size(); ++i) {
        allClean = allClean && answers[i].clean;
        allAcknowledged = allAcknowledged && answers[i].status == expectedStatusFor(link.writes[i][1]);
    }

    switch (type & 0xFF) {
    case 1:
    case 2: {
        const std::uint8_t firstCommand = type == 2 ? qarn::CMD_FILE2_FIRST : qarn::CMD_FILE1_FIRST;
        const std::uint8_t nextCommand = firstCommand + 1;
        checkRequests(first, {firstCommand, nextCommand});
        FUZZ_CHECK(made >= 1);
        std::size_t position = 0, end = 0;
        for (std::size_t i = first; i < link.writes.size(); ++i) {
            const Bytes &w = link.writes[i];
            const std::size_t count = w[2] - 1u;
            FUZZ_CHECK(w[3] == count / 4);   // the word count of the whole words
            if (i == first) {
                FUZZ_CHECK(w[1] == firstCommand);
            } else if (w != link.writes[i - 1]) {
                FUZZ_CHECK(w[1] == nextCommand);
                position += 252;
            }
            FUZZ_CHECK(position + count <= length);
            FUZZ_CHECK(std::equal(w.begin() + 4, w.end() - 1, data.get() + position));
            FUZZ_CHECK(count == 252 || position + count == length);   // only the last block is short
            end = position + count;
        }
        if (result == RC_OK)
            FUZZ_CHECK(end == length);   // every byte, the 1 to 3 after the last word included
        break;
    }
    case 3: {
        if (length % 40 != 0) {
            FUZZ_CHECK(result == RC_FAILED && made == 0);
            return;
        }
        checkRequests(first, {qarn::CMD_FILE3_RECORD});
        std::size_t index = 0;
        for (std::size_t i = first; i < link.writes.size(); ++i) {
            const Bytes &w = link.writes[i];
            FUZZ_CHECK(w[2] == 41);
            if (i > first && w != link.writes[i - 1])
                ++index;
            FUZZ_CHECK(w[3] == static_cast<std::uint8_t>(index));
            FUZZ_CHECK(40 * index + 40 <= length);
            FUZZ_CHECK(std::equal(w.begin() + 4, w.end() - 1, data.get() + 40 * index));
        }
        if (result == RC_OK)
            FUZZ_CHECK(length == 0 ? made == 0 : 40 * index + 40 == length);
        break;
    }
    default:
        FUZZ_CHECK(result == RC_OK && made == 0);   // other types send nothing
        return;
    }
    if (result == RC_OK && made > 0)
        checkAcceptedReply();
    if (made > 0 && allClean)
        FUZZ_CHECK((result == RC_OK) == allAcknowledged);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    Run run(input);
    FUZZ_CHECK(qarn::StartApi(run.session, 1) == RC_OK);
    for (int steps = 0; steps < 24 && input.remaining_bytes() > 0; ++steps)
        run.step();
    return 0;
}
