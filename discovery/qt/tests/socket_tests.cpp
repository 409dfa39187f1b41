// The socket against real datagrams on loopback.

#include "discovery_socket.h"
#include "test_support.h"

#include <QNetworkInterface>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

class DiscoverySocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_receiver.Create());
        ASSERT_TRUE(m_sender.bind(QHostAddress(QHostAddress::LocalHost), 0));
    }
    void Send(QByteArray bytes)
    {
        m_sender.writeDatagram(bytes, QHostAddress(QHostAddress::LocalHost), m_receiver.LocalPort());
    }
    static QByteArray Reply(char firstOctet)
    {
        DISCOVERY_PACKET packet = BuildProbe();
        packet.ipAddress = {std::uint8_t(firstOctet), 0, 0, 1};
        return QByteArray(reinterpret_cast<const char*>(&packet), sizeof packet);
    }

    CDiscoverySocket m_receiver{DiscoveryEndpoints{QHostAddress(QHostAddress::LocalHost), 0,
                                                   QHostAddress(QHostAddress::LocalHost), 9}};
    QUdpSocket m_sender;
};

TEST_F(DiscoverySocketTest, OnlyWholeTwentyByteDatagramsAreStored)
{
    Send(Reply(10) + QByteArray(1, 'x'));
    Send(Reply(10).left(19));
    Send(QByteArray());
    Send(Reply(12).repeated(300));
    Send(Reply(11));

    DISCOVERY_PACKET row;
    std::memset(&row, 0x5A, sizeof row);
    const DISCOVERY_PACKET before = row;
    unsigned arrival = 0;
    std::vector<qint64> sizes;
    ASSERT_TRUE(WaitFor([&] {
        const qint64 size = m_receiver.ReceiveFrom(row, arrival);
        if (size >= 0)
            sizes.push_back(size);
        if (sizes.size() == 1) {
            EXPECT_EQ(std::memcmp(&row, &before, sizeof row), 0) << "never cut down to 20 bytes";
        }
        return sizes.size() == 5;
    }));
    EXPECT_EQ(sizes, (std::vector<qint64>{21, 19, 0, 6000, 20}));
    EXPECT_EQ(row.ipAddress[0], 11);
    EXPECT_EQ(arrival, unsigned(QNetworkInterface::interfaceIndexFromName("lo"))) << "the arrival interface is told";
    EXPECT_NE(arrival, 0u);
    EXPECT_EQ(m_receiver.ReceiveFrom(row, arrival), -1) << "nothing left";
}

} // namespace
