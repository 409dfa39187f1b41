#include "commands.h"
#include "fake_link.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using Bytes = std::vector<std::uint8_t>;

// What each sending operation puts on the line and how long it then waits
// for the reply's first byte.
TEST(Commands, RequestLayoutsAndFirstByteTimeouts)
{
    const std::uint8_t clock[7] = {126, 3, 7, 14, 5, 9, 6};
    const Bytes record(40, 0x5A);
    const Bytes data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const Bytes big(254, 0x33);
    using Send = std::function<int(qarn::FrameExchange &)>;
    struct Case {
        const char *name;
        Send send;
        Bytes head; // start of the request on the line
        std::size_t size;
        std::uint32_t timeout;
    } cases[] = {
        {"get time", [](auto &fx) { return qarn::SendGetTime(fx, 3); }, {0x81, 0xB2, 0x00, 0x33}, 4, 500},
        {"open", [](auto &fx) { return qarn::SendOpenReader(fx, 3, 0x101); }, {0x81, 0xC0, 0x01, 0x01, 0x41}, 5, 150},
        {"close", [](auto &fx) { return qarn::SendCloseReader(fx, 3, 7); }, {0x81, 0xC1, 0x01, 0x07}, 5, 150},
        {"ack", [](auto &fx) { return qarn::SendLogAck(fx, 3, 0); }, {0x81, 0xB1, 0x01, 0x00, 0x31}, 5, 100},
        {"get log", [](auto &fx) { return qarn::SendGetLog(fx, 3); }, {0x81, 0xB0, 0x00, 0x31}, 4, 100},
        {"file lengths", [](auto &fx) { return qarn::SendGetFileLen(fx, 3); }, {0x81, 0xB5, 0x00}, 4, 100},
        {"info", [](auto &fx) { return qarn::SendGetInfo(fx, 3); }, {0x81, 0xB4, 0x00}, 4, 500},
        {"B3", [](auto &fx) { return qarn::SendB3(fx, 3); }, {0x81, 0xB3, 0x00}, 4, 500},
        {"A7", [](auto &fx) { return qarn::SendA7(fx, 3); }, {0x81, 0xA7, 0x00}, 4, 500},
        {"AA", [](auto &fx) { return qarn::SendAA(fx, 3); }, {0x81, 0xAA, 0x00}, 4, 500},
        {"set time", [&](auto &fx) { return qarn::SendSetTime(fx, 3, clock); },
         {0x81, 0xA0, 7, 126, 3, 7, 14, 5, 9, 6}, 11, 500},
        {"empty user data", [&](auto &fx) { return qarn::SendUserData(fx, 3, data.data(), 1); },
         {0x81, 0xA1, 0x00, 0x20}, 4, 500},
        {"user data", [&](auto &fx) { return qarn::SendUserData(fx, 3, data.data(), 0x105); },
         {0x81, 0xA1, 4, 1, 2, 3, 4}, 8, 500},
        {"file block", [&](auto &fx) { return qarn::SendFile2Next(fx, 3, 10, data.data()); },
         {0x81, 0xA5, 11, 2, 1, 2}, 15, 5000},
        {"largest first block", [&](auto &fx) { return qarn::SendFile1First(fx, 3, 252, big.data()); },
         {0x81, 0xA2, 0xFD, 63, 0x33}, 257, 5000},
        {"254 bytes", [&](auto &fx) { return qarn::SendFile1Next(fx, 3, 254, big.data()); },
         {0x81, 0xA3, 0xFF, 63, 0x33}, 259, 5000},
        {"record 256", [&](auto &fx) { return qarn::SendFile3Record(fx, 3, 256, record.data()); },
         {0x81, 0xA6, 41, 0, 0x5A}, 45, 5000},
    };
    for (const Case &c : cases) {
        FakeLink link;
        link.reader = [](FakeLink &l, const Bytes &) { l.reply(0x40, {}); };
        qarn::FrameExchange fx{link};
        ASSERT_EQ(c.send(fx), qarn::XR_OK) << c.name;
        const Bytes &sent = link.writes.at(0);
        EXPECT_EQ(Bytes(sent.begin(), sent.begin() + static_cast<long>(std::min(c.head.size(), sent.size()))), c.head)
            << c.name;
        EXPECT_EQ(sent.size(), c.size) << c.name;
        EXPECT_EQ(link.readTimeouts.at(sent.size()), c.timeout) << c.name;
    }
}

TEST(ClockRecord, BuiltFromLocalTimeAsPlainNumbers)
{
    std::tm saturday{};
    saturday.tm_year = 126;
    saturday.tm_mon = 2;
    saturday.tm_mday = 7;
    saturday.tm_hour = 14;
    saturday.tm_min = 5;
    saturday.tm_sec = 9;
    saturday.tm_wday = 6;
    std::uint8_t record[7];
    qarn::FillClockRecord(saturday, record);
    EXPECT_EQ(Bytes(record, record + 7), (Bytes{126, 3, 7, 14, 5, 9, 6}));
    saturday.tm_year = 300;
    qarn::FillClockRecord(saturday, record);
    EXPECT_EQ(record[0], 300 % 256) << "the year keeps its low 8 bits";
}

} // namespace
