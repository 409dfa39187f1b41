// Runs inside a "pc" namespace of end_to_end.sh: the real main window with its real
// socket (no test endpoints), broadcasting to port 36 where simulators play the devices.

#include "device_list_dlg.h"
#include "test_support.h"

#include <QListWidget>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The window broadcasts: true only inside the script's "pc" namespace, whose
// interfaces have exactly these names.
bool InTestNamespace(const QStringList& names)
{
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces())
        if (!names.contains(interface.name()))
            return false;
    return true;
}

QString Line(const QString& address, const QString& mask, const QString& mac, int id)
{
    return address.leftJustified(16) + mask.leftJustified(16) + mac + QString::number(id).rightJustified(7);
}

void ChangeSelected(QListWidget* list, const QString& line, const QString& address, const QString& mask)
{
    const QList<QListWidgetItem*> found = list->findItems(line, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << line.toStdString();
    list->setCurrentItem(found.first());
    ModalScript script;
    script.Then(FillAddressDialog(address, mask));
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_TRUE(script.Finished()) << script.Failure();
}

TEST(EndToEnd, ListsTheDevicesChangesOneAndTheRescanShowsIt)
{
    const QString net = qEnvironmentVariable("CORVANE_E2E_NET");
    ASSERT_FALSE(net.isEmpty()) << "run by end_to_end.sh, inside its namespace";
    ASSERT_TRUE(InTestNamespace({"lo", "pc"})) << "not in the test's namespace";
    CDeviceListDlg dialog;
    dialog.SetWebPageOpener([](const QUrl&) {});
    dialog.show();
    auto* list = dialog.findChild<QListWidget*>("deviceList");
    ASSERT_TRUE(ScanEndsWith(dialog, 3));

    auto line = [&](int last, const char* mask, int index) {
        return Line(QString("%1.%2").arg(net).arg(last), mask, QString("02-C0-4E-00-00-0%1").arg(index), index + 1);
    };
    EXPECT_EQ(ListLines(list), (QStringList{line(100, "255.255.255.0", 0), line(101, "255.255.255.0", 1),
                                        line(102, "255.255.255.0", 2)}));

    ChangeSelected(list, line(101, "255.255.255.0", 1), net + ".150", "255.255.0.0");

    // The rescan comes by itself, ten ticker ticks later.
    EXPECT_TRUE(WaitFor([&] { return ListLines(list).contains(line(150, "255.255.0.0", 1)); }, 40000))
        << ListLines(list).join('\n').toStdString();
    EXPECT_EQ(list->count(), 3);
}

// pc1 (the default route) leads to three devices, pc2 to four and, on the same
// LAN, one more in a foreign subnet that answers by broadcast.
TEST(EndToEnd, TwoInterfacesListEveryDeviceAndAChangeLeavesWhereTheDeviceAnswered)
{
    const QString net1 = qEnvironmentVariable("CORVANE_E2E_NET1");
    const QString net2 = qEnvironmentVariable("CORVANE_E2E_NET2");
    const QString far = qEnvironmentVariable("CORVANE_E2E_FAR_NET");
    ASSERT_FALSE(net1.isEmpty() || net2.isEmpty() || far.isEmpty()) << "run by end_to_end.sh";
    ASSERT_TRUE(InTestNamespace({"lo", "pc1", "pc2"})) << "not in the test's namespace";
    const unsigned pc1 = unsigned(QNetworkInterface::interfaceIndexFromName("pc1"));
    const unsigned pc2 = unsigned(QNetworkInterface::interfaceIndexFromName("pc2"));
    CDeviceListDlg dialog;
    dialog.SetWebPageOpener([](const QUrl&) {});
    dialog.show();
    auto* list = dialog.findChild<QListWidget*>("deviceList");
    ASSERT_TRUE(ScanEndsWith(dialog, 8)) << ListLines(list).join('\n').toStdString();

    QStringList expected;
    for (int i = 0; i < 3; ++i)
        expected << Line(QString("%1.%2").arg(net1).arg(100 + i), "255.255.255.0", QString("02-C0-4E-00-00-0%1").arg(i),
                         i + 1);
    for (int i = 0; i < 4; ++i)
        expected << Line(QString("%1.%2").arg(net2).arg(100 + i), "255.255.255.0", QString("02-C0-4E-02-00-0%1").arg(i),
                         21 + i);
    const QString farLine = Line(far + ".5", "255.255.0.0", "02-C0-4E-77-00-05", 77);
    expected << farLine;
    EXPECT_EQ(ListLines(list), expected);
    for (int row = 0; row < dialog.Scan().m_nCount; ++row) {
        const bool onFirstLan = dialog.Scan().m_devices[std::size_t(row)].ipAddress[2] == net1.section('.', 2).toUInt();
        EXPECT_EQ(dialog.Scan().RowInterface(row), onFirstLan ? pc1 : pc2) << "row " << row;
    }

    // Both changes must leave by pc2: sent by the routing table, they would go out of pc1.
    ChangeSelected(list, expected[4], net2 + ".150", "255.255.255.0");
    ChangeSelected(list, farLine, net2 + ".77", "255.255.255.0");

    const QString moved = Line(net2 + ".150", "255.255.255.0", "02-C0-4E-02-00-01", 22);
    const QString repaired = Line(net2 + ".77", "255.255.255.0", "02-C0-4E-77-00-05", 77);
    EXPECT_TRUE(WaitFor([&] { return ListLines(list).contains(moved) && ListLines(list).contains(repaired); }, 40000))
        << ListLines(list).join('\n').toStdString();
    EXPECT_TRUE(ScanEndsWith(dialog, 8));
    EXPECT_FALSE(ListLines(list).contains(expected[4]));
    EXPECT_FALSE(ListLines(list).contains(farLine));

    // pc2 loses its address: a change of a device listed behind it must not go out
    // at all (the script finds no set command on the first LAN), and the rescan
    // that follows it lists what pc1 still reaches.
    ASSERT_EQ(QProcess::execute("ip", {"addr", "flush", "dev", "pc2"}), 0);
    ChangeSelected(list, moved, net2 + ".160", "255.255.255.0");
    EXPECT_TRUE(WaitFor([&] { return list->count() == 3 && !dialog.Scan().m_bScanning; }, 40000))
        << ListLines(list).join('\n').toStdString();
}

// cable_pull.sh: the pc side loses its address while its link and a default route
// through it stay up (a lost lease), three F5 presses find nothing and send nothing,
// and once the address is back one F5 lists the devices again.
TEST(EndToEnd, ACablePulledAndPluggedBackWithoutARestart)
{
    const QString address = qEnvironmentVariable("CORVANE_E2E_PC_ADDRESS");
    const QString devsimLog = qEnvironmentVariable("CORVANE_E2E_DEVSIM_LOG");
    ASSERT_FALSE(address.isEmpty() || devsimLog.isEmpty()) << "run by cable_pull.sh";
    ASSERT_TRUE(InTestNamespace({"lo", "pc"})) << "not in the test's namespace";
    const auto probesAtTheLan = [&] {
        QFile log(devsimLog);
        if (!log.open(QIODevice::ReadOnly))
            return -1;
        return int(QString::fromUtf8(log.readAll()).count(QRegularExpression("^probe ", QRegularExpression::MultilineOption)));
    };
    CDeviceListDlg dialog;
    dialog.SetWebPageOpener([](const QUrl&) {});
    dialog.show();
    auto* list = dialog.findChild<QListWidget*>("deviceList");
    ASSERT_TRUE(ScanEndsWith(dialog, 3));
    ASSERT_EQ(probesAtTheLan(), 1);

    ASSERT_EQ(QProcess::execute("ip", {"addr", "flush", "dev", "pc"}), 0);
    // The route goes with the last address; put back, a probe sent by the routing table would leave by pc.
    ASSERT_EQ(QProcess::execute("ip", {"route", "replace", "default", "dev", "pc"}), 0);
    for (int press = 0; press < 3; ++press) {
        QTest::keyClick(list, Qt::Key_F5);
        ASSERT_TRUE(dialog.Scan().m_bScanning) << "F5 " << press << " started no scan";
        ASSERT_TRUE(ScanEndsWith(dialog, 0)) << "F5 " << press;
    }
    // The rescan armed by the drop runs now, with the cable still out.
    ASSERT_TRUE(WaitFor([&] { return dialog.Scan().m_nRescanCountdown == 0 && !dialog.Scan().m_bScanning; }, 20000));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(list->count(), 0);

    EXPECT_EQ(probesAtTheLan(), 1) << "a probe reached the LAN while the address was gone";
    ASSERT_EQ(QProcess::execute("ip", {"addr", "add", address + "/24", "dev", "pc"}), 0);
    ASSERT_EQ(QProcess::execute("ip", {"route", "replace", "default", "dev", "pc"}), 0);
    // Everything sent since the pull would be at the simulator before this probe.
    QTest::keyClick(list, Qt::Key_F5);
    ASSERT_TRUE(dialog.Scan().m_bScanning);
    EXPECT_TRUE(ScanEndsWith(dialog, 3)) << ListLines(list).join('\n').toStdString();
    EXPECT_EQ(probesAtTheLan(), 2) << "a probe reached the LAN while the cable was out, or none after";
}

// flood_in_namespaces.sh floods the window's port with datagrams that are not replies
// once this test says it is ready, says when the flood arrives, and stops it when this
// test says its scans under it are done; a marker file says the flood ended.
TEST(EndToEnd, F5ScansDuringAndRightAfterAFlood)
{
    const QString ready = qEnvironmentVariable("CORVANE_E2E_READY");
    const QString floodOn = qEnvironmentVariable("CORVANE_E2E_FLOOD_ON");
    const QString scansDone = qEnvironmentVariable("CORVANE_E2E_SCANS_DONE");
    const QString floodOver = qEnvironmentVariable("CORVANE_E2E_FLOOD_OVER");
    ASSERT_FALSE(ready.isEmpty() || floodOn.isEmpty() || scansDone.isEmpty() || floodOver.isEmpty())
        << "run by flood_in_namespaces.sh";
    ASSERT_TRUE(InTestNamespace({"lo", "pc"})) << "not in the test's namespace";
    CDeviceListDlg dialog;
    dialog.SetWebPageOpener([](const QUrl&) {});
    dialog.show();
    auto* list = dialog.findChild<QListWidget*>("deviceList");
    ASSERT_TRUE(ScanEndsWith(dialog, 3));
    QFile marker(ready);
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(floodOn); }, 30000)) << "the flood never arrived";
    // Twice under the flood: F5 is served, and the scan window it opens closes.
    for (int press = 0; press < 2; ++press) {
        QTest::keyClick(list, Qt::Key_F5);
        EXPECT_TRUE(dialog.Scan().m_bScanning) << "F5 " << press << " under the flood started no scan";
        EXPECT_TRUE(WaitFor([&] { return !dialog.Scan().m_bScanning; }, 10000))
            << "the scan window opened by F5 " << press << " never closed under the flood";
    }
    ASSERT_FALSE(QFile::exists(floodOver)) << "the flood ended before the scans under it did";
    QFile done(scansDone);
    ASSERT_TRUE(done.open(QIODevice::WriteOnly));
    done.close();
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(floodOver); }, 30000));
    QTest::keyClick(list, Qt::Key_F5);
    EXPECT_TRUE(dialog.Scan().m_bScanning) << "F5 right after the flood started no scan";
    EXPECT_TRUE(ScanEndsWith(dialog, 3)) << ListLines(list).join('\n').toStdString();
}

} // namespace
