// The main window and the address dialog driven like an operator would, against
// corvane-devsim on loopback.

#include "device_list_dlg.h"
#include "message_box.h"
#include "resource_ids.h"
#include "scripted_interfaces.h"
#include "test_support.h"

#include <QAction>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

const QString DEVICE_9 = "10.0.0.9,255.255.255.0,00-0A-BC-01-02-EF,1";
const QString DEVICE_10 = "10.0.0.10,255.0.0.0,00-11-22-33-44-55,258";
const QString LINE_9 = "10.0.0.9        255.255.255.0   00-0A-BC-01-02-EF      1";
const QString LINE_10 = "10.0.0.10       255.0.0.0       00-11-22-33-44-55    258";

QStringList MessageSeen(const char* text, QMessageBox::Icon icon = QMessageBox::NoIcon)
{
    return {QString::fromUtf8(text), ProgramName(), QString::number(int(icon))};
}

class DeviceListTest : public ::testing::Test {
protected:
    void Start(const QStringList& simulatorArguments)
    {
        m_simulator = std::make_unique<SimulatorProcess>(simulatorArguments);
        ASSERT_TRUE(m_simulator->Started());
        Open(m_simulator->Port());
    }
    // The main window on loopback, sending to `destinationPort`; 127.0.0.1 is its one LAN.
    void Open(quint16 destinationPort, quint16 localPort = 0)
    {
        m_interfaces.listed = {ScriptedLan("lan0", SystemLoopbackIndex(), {127, 0, 0, 1})};
        m_dialog = std::make_unique<CDeviceListDlg>(
            DiscoveryEndpoints{QHostAddress(QHostAddress::LocalHost), localPort, QHostAddress(QHostAddress::LocalHost),
                               destinationPort, &m_interfaces});
        m_dialog->SetWebPageOpener([this](const QUrl& url) { m_opened << url.toString(); });
        m_dialog->show();
    }

    // Opens the window with the test playing the device on `device`, and takes the
    // first probe there, learning where the window's socket is.
    void OpenWithPlayedDevice(QUdpSocket& device, QHostAddress& window, quint16& windowPort)
    {
        ASSERT_TRUE(device.bind(QHostAddress(QHostAddress::LocalHost), 0));
        Open(device.localPort());
        ASSERT_TRUE(WaitFor([&] { return device.hasPendingDatagrams(); }));
        char probe[64];
        ASSERT_EQ(device.readDatagram(probe, sizeof probe, &window, &windowPort), 20);
    }

    // Waits for the scan window to close with `count` devices listed.
    bool ScanEndsWith(int count, int timeoutMs = 10000) { return ::ScanEndsWith(*m_dialog, count, timeoutMs); }
    int Probes() { return m_simulator->CountLinesStartingWith("probe "); }

    QListWidget* List() { return m_dialog->findChild<QListWidget*>("deviceList"); }
    QString CountText() { return m_dialog->findChild<QLineEdit*>("deviceCount")->text(); }
    QStringList Lines() { return ListLines(List()); }
    QString SelectedLine()
    {
        const QList<QListWidgetItem*> selected = List()->selectedItems();
        return selected.isEmpty() ? QString() : selected.first()->text();
    }
    void Select(const QString& prefix)
    {
        for (int i = 0; i < List()->count(); ++i)
            if (List()->item(i)->text().startsWith(prefix))
                List()->setCurrentRow(i);
    }
    QAction* Action(int command)
    {
        for (QAction* action : m_dialog->findChildren<QAction*>())
            if (action->data().toInt() == command)
                return action;
        return nullptr;
    }

    // With nothing selected, Enter, Alt+Enter and both Config items do nothing, and Esc
    // keeps the window. A dialog opened by mistake would hold the key press until closed.
    void ExpectCommandsDoNothing()
    {
        ModalScript unexpected(3000);
        unexpected.Then([](QWidget* modal) { modal->close(); return true; });
        QTest::keyClick(List(), Qt::Key_Return);
        QTest::keyClick(List(), Qt::Key_Return, Qt::AltModifier);
        Action(ID_CONFIG_IP_ADDRESS)->trigger();
        Action(ID_CONFIG_DEVICE_SETTINGS)->trigger();
        QTest::keyClick(List(), Qt::Key_Escape);
        EXPECT_EQ(unexpected.Handled(), 0);
        EXPECT_TRUE(m_opened.isEmpty());
        EXPECT_TRUE(m_dialog->isVisible()) << "Esc never closes the window";
    }

    std::unique_ptr<SimulatorProcess> m_simulator;
    ScriptedInterfaces m_interfaces;   // before the window, which reads it to its end
    std::unique_ptr<CDeviceListDlg> m_dialog;
    QStringList m_opened;
};

TEST_F(DeviceListTest, FirstScanListsSortedLinesThatKnowTheirRowsAndSelectsTheLowest)
{
    // Bad datagrams first: 19 and 21 bytes end a drain, the others are skipped; none is listed.
    ASSERT_NO_FATAL_FAILURE(
        Start({"--device", DEVICE_9, "--device", DEVICE_10, "--malformed", "short,long,swapped,other"}));
    ASSERT_TRUE(ScanEndsWith(2));
    EXPECT_EQ(Lines(), (QStringList{LINE_10, LINE_9})) << "text order, not arrival order";
    EXPECT_EQ(List()->item(0)->data(Qt::UserRole).toInt(), 1) << "10.0.0.10 answered second";
    EXPECT_EQ(List()->item(1)->data(Qt::UserRole).toInt(), 0);
    EXPECT_EQ(SelectedLine(), LINE_10);
    EXPECT_EQ(CountText(), "2");
    EXPECT_EQ(Probes(), 1) << "the first scan starts by itself";
}

TEST_F(DeviceListTest, NoAnswerThenLateRepliesAndCommandsWithoutASelection)
{
    // The test plays the devices itself, so that its replies surely come after the window closed.
    QUdpSocket device;
    QHostAddress window;
    quint16 windowPort = 0;
    ASSERT_NO_FATAL_FAILURE(OpenWithPlayedDevice(device, window, windowPort));
    ASSERT_TRUE(ScanEndsWith(0));
    EXPECT_EQ(CountText(), "0");
    ASSERT_NO_FATAL_FAILURE(ExpectCommandsDoNothing());

    for (std::uint8_t last : {9, 10, 9}) {   // a device answering twice is listed twice
        DISCOVERY_PACKET reply = BuildProbe();
        reply.ipAddress = {10, 0, 0, last};
        device.writeDatagram(reinterpret_cast<const char*>(&reply), sizeof reply, window, windowPort);
    }
    ASSERT_TRUE(WaitFor([&] { return m_dialog->Scan().m_nCount == 3; }));
    EXPECT_EQ(CountText(), "3");
    ASSERT_EQ(List()->count(), 3);
    EXPECT_EQ(List()->item(1)->text(), List()->item(2)->text());
    EXPECT_TRUE(SelectedLine().isEmpty()) << "only the end of a scan window selects";
    ASSERT_NO_FATAL_FAILURE(ExpectCommandsDoNothing());
}

TEST_F(DeviceListTest, RepliesInAFloodAreAllListedInArrivalOrderWhileTheEventLoopRuns)
{
    QUdpSocket device;
    QHostAddress window;
    quint16 windowPort = 0;
    ASSERT_NO_FATAL_FAILURE(OpenWithPlayedDevice(device, window, windowPort));

    // A posted call that posts itself again: it runs between the window's posted drains
    // (posted calls run in the order posted), so a count seen part-way through a round
    // means the event loop ran while that round's datagrams were still being read.
    std::vector<int> seen;
    bool sampling = true;
    std::function<void()> sample = [&] {
        seen.push_back(m_dialog->Scan().m_nCount);
        if (sampling)
            QMetaObject::invokeMethod(m_dialog.get(), sample, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(m_dialog.get(), sample, Qt::QueuedConnection);

    // Each round is sent at once and stays well inside the socket's receive buffer,
    // so nothing is lost before the window reads it.
    constexpr int ROUNDS = 20;
    constexpr int DATAGRAMS_PER_ROUND = 200;
    constexpr int REPLY_EVERY = 20;
    constexpr int REPLIES_PER_ROUND = DATAGRAMS_PER_ROUND / REPLY_EVERY;
    DISCOVERY_PACKET swapped = BuildProbe();
    swapped.command = ToWireOrder16(0x3930);   // the reply code in the wrong byte order
    const DISCOVERY_PACKET others[] = {swapped, BuildSetIp({10, 9, 9, 9}, {}),
                                       BuildSetMask({10, 9, 9, 9}, {255, 0, 0, 0}, {})};
    int roundsSeenPartWay = 0;
    std::uint16_t sequence = 0;
    for (int round = 0; round < ROUNDS; ++round) {
        const int before = m_dialog->Scan().m_nCount;
        for (int i = 1; i <= DATAGRAMS_PER_ROUND; ++i) {
            DISCOVERY_PACKET datagram = others[i % 3];
            if (i % REPLY_EVERY == 0) {
                ++sequence;
                datagram = BuildProbe();
                datagram.ipAddress = {10, std::uint8_t(round), std::uint8_t(i / REPLY_EVERY), 1};
                datagram.deviceId = ToWireOrder16(sequence);
            }
            ASSERT_EQ(device.writeDatagram(reinterpret_cast<const char*>(&datagram), sizeof datagram, window,
                                           windowPort),
                      20);
        }
        seen.clear();
        ASSERT_TRUE(WaitFor([&] { return m_dialog->Scan().m_nCount == before + REPLIES_PER_ROUND; }))
            << "round " << round << ": " << m_dialog->Scan().m_nCount - before << " replies listed";
        roundsSeenPartWay +=
            std::any_of(seen.begin(), seen.end(), [&](int n) { return n > before && n < before + REPLIES_PER_ROUND; });
    }
    sampling = false;
    EXPECT_GT(roundsSeenPartWay, 0) << "the event loop never ran while a round was being read";

    ASSERT_EQ(m_dialog->Scan().m_nCount, ROUNDS * REPLIES_PER_ROUND);
    for (int row = 0; row < m_dialog->Scan().m_nCount; ++row)
        ASSERT_EQ(DeviceIdOf(m_dialog->Scan().m_devices[std::size_t(row)]), row + 1) << "rows in arrival order";
    ASSERT_EQ(List()->count(), ROUNDS * REPLIES_PER_ROUND);
    for (int i = 0; i < List()->count(); ++i) {
        const int row = List()->item(i)->data(Qt::UserRole).toInt();
        EXPECT_TRUE(List()->item(i)->text().endsWith(QString::number(row + 1).rightJustified(7))) << row;
    }
}

TEST_F(DeviceListTest, F5TwiceInOneWindowSendsOneProbe)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--devices", "2"}));
    ASSERT_TRUE(ScanEndsWith(2));
    QTest::keyClick(List(), Qt::Key_F5, Qt::AltModifier);
    EXPECT_FALSE(m_dialog->Scan().m_bScanning) << "Alt+F5 is a system key, not F5";
    QTest::keyClick(List(), Qt::Key_F5);
    QTest::keyClick(List(), Qt::Key_F5);
    EXPECT_EQ(List()->count(), 0) << "the list empties at once";
    ASSERT_TRUE(ScanEndsWith(2));
    // A third scan from the menu: once its replies are in, every earlier probe was seen.
    Action(ID_VIEW_REFRESH)->trigger();
    ASSERT_TRUE(ScanEndsWith(2));
    EXPECT_EQ(Probes(), 3);
}

TEST_F(DeviceListTest, TableStopsAt255AndTheNextScanStillReceives)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--devices", "270", "--first-address", "10.1.0.1"}));
    ASSERT_TRUE(ScanEndsWith(255, 15000));
    EXPECT_EQ(List()->count(), 255);
    EXPECT_EQ(CountText(), "255");
    QTest::keyClick(List(), Qt::Key_F5);
    ASSERT_TRUE(m_simulator->WaitForLineStartingWith("probe 2"));
    EXPECT_TRUE(ScanEndsWith(255, 15000)) << "replies left unread must not block the next scan";
}

TEST_F(DeviceListTest, AddressChangeSendsBothCommandsAndTheRescanShowsTheResult)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--device", "10.0.0.5,255.255.255.0,00-11-22-33-44-55,7"}));
    ASSERT_TRUE(ScanEndsWith(1));
    QStringList shown;
    QWidget* owner = nullptr;
    ModalScript script;
    script.Then([&](QWidget* modal) {
        owner = modal->parentWidget();
        return FillAddressDialog("10.0.0.6", "255.255.0.0", &shown)(modal);
    });
    Action(ID_CONFIG_IP_ADDRESS)->trigger();
    EXPECT_TRUE(script.Finished()) << script.Failure();
    EXPECT_EQ(shown, (QStringList{"Set IP Address", "10.0.0.5", "255.255.255.0"}));
    EXPECT_EQ(owner, m_dialog.get());
    EXPECT_GT(m_dialog->Scan().m_nRescanCountdown, 0) << "no rescan armed after the change";

    ASSERT_TRUE(m_simulator->WaitForLineStartingWith("set-mask"));
    const QStringList sets = m_simulator->Lines().filter(QRegularExpression("^set-"));
    ASSERT_EQ(sets.size(), 2);
    EXPECT_TRUE(sets[0].startsWith("set-ip 00-11-22-33-44-55 10.0.0.5 -> 10.0.0.6 ")) << sets[0].toStdString();
    EXPECT_TRUE(sets[1].startsWith("set-mask 00-11-22-33-44-55 255.255.255.0 -> 255.255.0.0 (address 10.0.0.6)"))
        << sets[1].toStdString();

    ASSERT_TRUE(m_simulator->WaitForLineStartingWith("probe 2", 30000)) << "a rescan follows by itself";
    ASSERT_TRUE(ScanEndsWith(1));
    EXPECT_EQ(Lines(), QStringList{"10.0.0.6        255.255.0.0     00-11-22-33-44-55      7"});
}

TEST_F(DeviceListTest, ARefusedValueShowsItsMessageAndCancelSendsNothing)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--device", "10.0.0.5,255.255.255.0,00-11-22-33-44-55,7"}));
    ASSERT_TRUE(ScanEndsWith(1));
    QStringList seen;
    QWidget* owner = nullptr;
    ModalScript refused;
    refused.Then(FillAddressDialog("10.0.0.6", "254.0.0.0")).Then([&](QWidget* modal) {
        owner = modal->parentWidget();
        return ExpectMessage(&seen)(modal);
    });
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_TRUE(refused.Finished()) << refused.Failure();
    EXPECT_EQ(seen, MessageSeen(MSG_INVALID_MASK));
    EXPECT_EQ(owner, m_dialog.get()) << "the message box belongs to the main window";

    // A NUL in a field ends no text early: what follows it is seen, and refused.
    ModalScript withNul;
    withNul.Then([](QWidget* modal) {
                auto* address = modal->findChild<QLineEdit*>(QStringLiteral("addressEdit"));
                if (address == nullptr)
                    return false;
                address
                    ->setText(QStringLiteral("10.0.0.6") + QChar(u'\0') + QStringLiteral("junk"));
                QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
                return true;
            })
        .Then(ExpectMessage(&seen));
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_TRUE(withNul.Finished()) << withNul.Failure();
    EXPECT_EQ(seen, MessageSeen(MSG_INVALID_IP_ADDRESS));

    QStringList shown;
    ModalScript cancel;
    cancel.Then(CancelAddressDialog(&shown));
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_TRUE(cancel.Finished());
    EXPECT_EQ(shown.value(1), "10.0.0.5");
    // Enter on the Cancel button cancels too, though the fields hold a valid change.
    ModalScript enterOnCancel;
    enterOnCancel.Then([](QWidget* modal) {
        modal->findChild<QLineEdit*>("addressEdit")->setText("10.0.0.6");
        auto* button = modal->findChild<QPushButton*>("cancelButton");
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);
        return true;
    });
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_TRUE(enterOnCancel.Finished());

    // Anything sent above reaches the simulator before this probe does.
    Action(ID_VIEW_REFRESH)->trigger();
    ASSERT_TRUE(m_simulator->WaitForLineStartingWith("probe 2"));
    EXPECT_EQ(m_simulator->CountLinesStartingWith("set-"), 0);
}

// As Windows reports keys: Enter with Shift, Ctrl or AltGr (Ctrl+Alt) is the dialog's
// default command; only Alt without Ctrl makes Alt+Enter. A Ctrl+click keeps the line.
TEST_F(DeviceListTest, EnterWithModifiersAsWindowsHasItAndCtrlClickKeepsTheSelection)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--device", DEVICE_9, "--device", DEVICE_10}));
    ASSERT_TRUE(ScanEndsWith(2));
    const QRect firstLine = List()->visualItemRect(List()->item(0));
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::ControlModifier, firstLine.center());
    EXPECT_EQ(SelectedLine(), LINE_10) << "Ctrl+click took the selection away";

    for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::ShiftModifier),
                                            Qt::KeyboardModifiers(Qt::ControlModifier),
                                            Qt::ControlModifier | Qt::AltModifier}) {
        QStringList shown;
        ModalScript script;
        script.Then(CancelAddressDialog(&shown));
        QTest::keyClick(List(), Qt::Key_Return, modifiers);
        EXPECT_TRUE(script.Finished()) << "Enter with modifiers " << int(modifiers) << " did not change the address";
        EXPECT_EQ(shown.value(1), "10.0.0.10");
    }
    EXPECT_TRUE(m_opened.isEmpty()) << "AltGr+Enter opened the web page";
}

TEST_F(DeviceListTest, WebPageOfTheSelectedDevice)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--device", DEVICE_9, "--device", DEVICE_10}));
    ASSERT_TRUE(ScanEndsWith(2));
    QTest::keyClick(List(), Qt::Key_Return, Qt::AltModifier);
    EXPECT_EQ(m_opened, QStringList{"http://10.0.0.10"}) << "one key press, one page";

    const QRect secondLine = List()->visualItemRect(List()->item(1));
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, secondLine.center());
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, secondLine.center());
    Action(ID_CONFIG_DEVICE_SETTINGS)->trigger();
    EXPECT_EQ(m_opened, (QStringList{"http://10.0.0.10", "http://10.0.0.9", "http://10.0.0.9"}));
}

TEST_F(DeviceListTest, EscKeepsTheWindowAndExitOrCloseEndIt)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--devices", "1"}));
    ASSERT_TRUE(ScanEndsWith(1));
    QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(m_dialog->isVisible());
    Action(ID_VIEW_EXIT)->trigger();
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->result(), 0);

    Open(m_simulator->Port());
    ASSERT_TRUE(ScanEndsWith(1));
    m_dialog->close();
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->result(), IDOK);
}

TEST_F(DeviceListTest, SocketFailureIsReportedAndNothingIsEverSent)
{
    QUdpSocket holder;   // holds the port the window's socket wants
    ASSERT_TRUE(holder.bind(QHostAddress(QHostAddress::LocalHost), 0));
    m_simulator = std::make_unique<SimulatorProcess>(QStringList{"--devices", "2"});
    ASSERT_TRUE(m_simulator->Started());
    QStringList seen;
    ModalScript script;
    script.Then(ExpectMessage(&seen));
    Open(m_simulator->Port(), holder.localPort());
    EXPECT_TRUE(script.Finished()) << script.Failure();
    EXPECT_EQ(seen, MessageSeen(MSG_SOCKET_CREATE_ERROR, QMessageBox::Warning));
    EXPECT_TRUE(m_dialog->isVisible());
    EXPECT_FALSE(m_dialog->findChild<QTimer*>("tickerTimer")->isActive());
    EXPECT_FALSE(m_dialog->Scan().m_bScanning) << "no first scan";

    QTest::keyClick(List(), Qt::Key_F5);
    EXPECT_TRUE(m_dialog->Scan().m_bScanning) << "a manual refresh still opens a window";
    ASSERT_TRUE(ScanEndsWith(0));
    EXPECT_EQ(CountText(), "0");
    // A probe sent now from elsewhere reaches the simulator after anything the window sent.
    const DISCOVERY_PACKET probe = BuildProbe();
    holder.writeDatagram(reinterpret_cast<const char*>(&probe), sizeof probe, QHostAddress(QHostAddress::LocalHost),
                         m_simulator->Port());
    ASSERT_TRUE(m_simulator->WaitForLineStartingWith("probe 1: "));
    EXPECT_EQ(Probes(), 1) << "nothing may go out without the socket";
    EXPECT_TRUE(m_simulator->Lines().filter("probe").first().contains(QString(":%1 ").arg(holder.localPort())));
}

TEST_F(DeviceListTest, MenuTextsFixedPitchAndColumnsUnderTheirHeaders)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--device", DEVICE_10}));
    ASSERT_TRUE(ScanEndsWith(1));
    EXPECT_EQ(m_dialog->windowTitle(), "Corvane");
    QStringList menu;
    for (QAction* top : m_dialog->findChild<QMenuBar*>()->actions()) {
        menu << top->text();
        for (QAction* item : top->menu()->actions())
            menu << (item->isSeparator() ? QString("-") : item->text());
    }
    EXPECT_EQ(menu, (QStringList{"&View", "&Refresh\tF5", "-", "E&xit\tAlt+F4", "&Config", "&IP Address\tEnter",
                                 "&Device Settings\tAlt+Enter"}));

    const QFontMetrics metrics(List()->font());
    const int charWidth = metrics.horizontalAdvance('0');
    for (QChar c : QString(" .-0123456789ABCDEF"))
        EXPECT_EQ(metrics.horizontalAdvance(c), charWidth) << "'" << c.toLatin1() << "' in " << QFontInfo(List()->font()).family().toStdString();
    EXPECT_GE(List()->viewport()->width(), int(56 * charWidth)) << "a whole line fits";
    const int textLeft = List()->mapTo(m_dialog.get(), List()->viewport()->geometry().topLeft()).x();
    const struct { const char* header; int column; } headers[] = {
        {"IP Address", 0}, {"Subnet Mask", 16}, {"MAC Address", 32}, {"Device ID", 50}};
    for (const auto& h : headers) {
        QLabel* label = nullptr;
        for (QLabel* l : m_dialog->findChildren<QLabel*>())
            if (l->text() == h.header)
                label = l;
        ASSERT_NE(label, nullptr) << h.header;
        const int labelLeft = label->mapTo(m_dialog.get(), QPoint(0, 0)).x();
        EXPECT_NEAR(labelLeft, textLeft + h.column * charWidth, 3 * charWidth) << h.header;
        EXPECT_LT(label->mapTo(m_dialog.get(), QPoint(0, 0)).y(), List()->mapTo(m_dialog.get(), QPoint(0, 0)).y());
    }
}

} // namespace
