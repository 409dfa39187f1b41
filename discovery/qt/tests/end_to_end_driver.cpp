// Runs inside the "pc" namespace of end_to_end.sh: the real main window with its real
// socket (no test endpoints), broadcasting to port 36 where the simulator plays three devices.

#include "device_list_dlg.h"
#include "test_support.h"

#include <QListWidget>
#include <QNetworkInterface>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QStringList Lines(QListWidget* list)
{
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

TEST(EndToEnd, ListsTheDevicesChangesOneAndTheRescanShowsIt)
{
    const QString net = qEnvironmentVariable("CORVANE_E2E_NET");
    ASSERT_FALSE(net.isEmpty()) << "run by end_to_end.sh, inside its namespace";
    // The window broadcasts: refuse to run anywhere but the script's "pc" namespace.
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces())
        ASSERT_TRUE(interface.name() == "lo" || interface.name() == "pc")
            << "not in the test's namespace: " << interface.name().toStdString();
    CDeviceListDlg dialog;
    dialog.SetWebPageOpener([](const QUrl&) {});
    dialog.show();
    auto* list = dialog.findChild<QListWidget*>("deviceList");
    ASSERT_TRUE(WaitFor([&] { return !dialog.Scan().m_bScanning && dialog.Scan().m_nCount == 3; }));

    auto line = [&](int last, const char* mask, int index) {
        return QString("%1.%2").arg(net).arg(last).leftJustified(16) + QString(mask).leftJustified(16) +
               QString("02-C0-4E-00-00-0%1").arg(index) + QString::number(index + 1).rightJustified(7);
    };
    EXPECT_EQ(Lines(list), (QStringList{line(100, "255.255.255.0", 0), line(101, "255.255.255.0", 1),
                                        line(102, "255.255.255.0", 2)}));

    list->setCurrentRow(1);
    ModalScript script;
    script.Then(FillAddressDialog(net + ".150", "255.255.0.0"));
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_TRUE(script.Finished()) << script.Failure();

    // The rescan comes by itself, ten ticker ticks later.
    EXPECT_TRUE(WaitFor([&] { return Lines(list).contains(line(150, "255.255.0.0", 1)); }, 40000))
        << Lines(list).join('\n').toStdString();
    EXPECT_EQ(list->count(), 3);
}

} // namespace
