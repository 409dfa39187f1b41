// The Qt window's view of the sockets: readiness reported through socket notifiers,
// against real datagrams on loopback.

#include "discovery_socket.h"
#include "test_support.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class DiscoverySocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(m_receiver.Sockets().Open(error)) << error;
        m_receiver.m_onReceive = [this] { ++m_reports; };
        ASSERT_TRUE(m_sender.bind(QHostAddress(QHostAddress::LocalHost), 0));
        ASSERT_TRUE(m_marker.bind(QHostAddress(QHostAddress::LocalHost), 0));
        QObject::connect(&m_marker, &QUdpSocket::readyRead, [this] {
            while (m_marker.hasPendingDatagrams())
                m_marker.receiveDatagram();
            ++m_markers;
        });
    }
    void Send(const QByteArray& bytes)
    {
        m_sender.writeDatagram(bytes, QHostAddress(QHostAddress::LocalHost), m_receiver.Sockets().LocalPort());
    }
    static QByteArray Reply(char firstOctet)
    {
        DISCOVERY_PACKET packet = BuildProbe();
        packet.ipAddress = {std::uint8_t(firstOctet), 0, 0, 1};
        return QByteArray(reinterpret_cast<const char*>(&packet), sizeof packet);
    }
    // Until a datagram sent now to a socket of the same event loop has been
    // taken: a report of data that was waiting before it would have come by then.
    void Settle()
    {
        const int seen = m_markers;
        m_sender.writeDatagram("marker", QHostAddress(QHostAddress::LocalHost), m_marker.localPort());
        ASSERT_TRUE(WaitFor([&] { return m_markers > seen; })) << "the marker datagram never arrived";
    }

    CDiscoverySocket m_receiver{DiscoveryEndpoints{QHostAddress(QHostAddress::LocalHost), 0,
                                                   QHostAddress(QHostAddress::LocalHost), 9}};
    QUdpSocket m_sender;
    QUdpSocket m_marker;
    int m_reports = 0;
    int m_markers = 0;
};

TEST_F(DiscoverySocketTest, AReportStaysOffUntilTheNextReadAndReadsTellTrueSizesAndTheInterface)
{
    Send(Reply(10) + QByteArray(1, 'x'));
    Send(Reply(11));
    ASSERT_TRUE(WaitFor([&] { return m_reports == 1; }));
    ASSERT_NO_FATAL_FAILURE(Settle());
    EXPECT_EQ(m_reports, 1) << "datagrams left unread are reported once, as a full table leaves them";

    DISCOVERY_PACKET row;
    std::memset(&row, 0x5A, sizeof row);
    const DISCOVERY_PACKET before = row;
    unsigned arrival = 0;
    EXPECT_EQ(m_receiver.Sockets().Receive(row, arrival), 21);
    EXPECT_EQ(std::memcmp(&row, &before, sizeof row), 0) << "never cut down to 20 bytes";
    ASSERT_TRUE(WaitFor([&] { return m_reports == 2; })) << "a read brings the report back while data waits";
    EXPECT_EQ(m_receiver.Sockets().Receive(row, arrival), 20);
    EXPECT_EQ(row.ipAddress[0], 11);
    EXPECT_EQ(arrival, unsigned(QNetworkInterface::interfaceIndexFromName("lo"))) << "the arrival interface is told";
    EXPECT_EQ(m_receiver.Sockets().Receive(row, arrival), -1) << "nothing left";
    ASSERT_NO_FATAL_FAILURE(Settle());
    EXPECT_EQ(m_reports, 2) << "nothing waits: nothing is reported";
}

} // namespace
