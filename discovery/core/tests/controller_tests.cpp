// The main window's behaviour over a scripted network (the real one is the socket
// layer's to test); the window is a recorder of what the controller asks of it.

#include "device_list_controller.h"
#include "device_line.h"
#include "resource_ids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// The network as the controller sees it, scripted: what it sends is recorded at once,
// what the devices answer waits until read, and the usable interfaces are the test's.
class ScriptedNetwork final : public ProbeNetwork {
public:
    bool Open(std::string& error) override
    {
        if (!canOpen) {
            error = "no socket";
            return false;
        }
        opened = true;
        return true;
    }
    bool IsOpen() const override { return opened; }
    void Close() override { opened = false; }
    bool ListInterfaces(std::vector<NetworkInterface>& listed, std::string& error) override
    {
        if (unlisted) {
            error = "the list cannot be read";
            return false;
        }
        listed.clear();
        for (unsigned index : usable) {
            NetworkInterface lan;
            lan.name = "lan" + std::to_string(index);
            lan.index = index;
            lan.up = lan.hasIpv4 = lan.broadcast = true;
            lan.address = {10, 0, 0, 1};
            listed.push_back(lan);
        }
        return true;
    }
    int SendOnEveryInterface(const DISCOVERY_PACKET& packet) override
    {
        if (unlisted)
            return INTERFACES_NOT_LISTED;
        if (!opened)
            return 0;
        for (unsigned index : usable)
            sent.push_back({Bytes(packet), index});
        return int(usable.size());
    }
    bool SendOnInterface(const DISCOVERY_PACKET& packet, unsigned interfaceIndex) override
    {
        if (!opened || std::find(usable.begin(), usable.end(), interfaceIndex) == usable.end())
            return false;
        sent.push_back({Bytes(packet), interfaceIndex});
        return true;
    }
    std::int64_t Receive(DISCOVERY_PACKET& row, unsigned& arrivalInterface) override
    {
        if (waiting.empty())
            return -1;
        const auto [packet, index] = waiting.front();
        waiting.pop_front();
        row = packet;
        arrivalInterface = index;
        return 20;
    }
    int DiscardPending(int limit) override
    {
        int discarded = 0;
        for (; discarded < limit && !waiting.empty(); ++discarded)
            waiting.pop_front();
        return discarded;
    }

    bool WaitReadable(int) override { return !waiting.empty(); }

    static std::vector<unsigned char> Bytes(const DISCOVERY_PACKET& packet)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&packet);
        return {bytes, bytes + sizeof packet};
    }
    // The next datagram sent, or an empty one when nothing (more) was sent.
    std::vector<unsigned char> TakeSent(unsigned* via = nullptr)
    {
        if (sent.empty())
            return {};
        auto [bytes, index] = sent.front();
        sent.pop_front();
        if (via != nullptr)
            *via = index;
        return bytes;
    }

    bool canOpen = true;
    bool opened = false;
    bool unlisted = false;   // the interface list cannot be read
    std::vector<unsigned> usable{3};   // the interfaces' indexes
    std::deque<std::pair<std::vector<unsigned char>, unsigned>> sent;
    std::deque<std::pair<DISCOVERY_PACKET, unsigned>> waiting;
};

DISCOVERY_PACKET Reply(std::uint8_t last, MacOctets mac = {2, 0, 0, 0, 0, 0}, IpOctets mask = {255, 255, 255, 0})
{
    DISCOVERY_PACKET reply = BuildProbe();
    reply.ipAddress = {10, 0, 0, last};
    reply.ipMask = mask;
    mac[5] = last;
    reply.macAddress = mac;
    return reply;
}

std::vector<unsigned char> Bytes(const DISCOVERY_PACKET& packet)
{
    return ScriptedNetwork::Bytes(packet);
}

// Records what the controller asks of its window; plays the operator where asked.
class RecordingWindow : public CDeviceListWindow {
public:
    void ResetList() override { lines.clear(); }
    void AddLine(const std::string& line, int row) override { lines.emplace_back(line, row); }
    int SelectedRow() const override { return selectedRow; }
    void SelectFirstLine() override { ++firstLineSelections; }
    void ShowCount(int count) override { shownCount = count; }
    void StartTimer(int timerId, int milliseconds) override
    {
        EXPECT_EQ(milliseconds, TIMER_INTERVAL_MS);
        running[timerId] = true;
    }
    void StopTimer(int timerId) override { running[timerId] = false; }
    bool EditAddress(IpOctets& address, IpOctets& mask) override
    {
        shownValues.emplace_back(address, mask);
        return editor ? editor(address, mask) : false;
    }
    void ShowMessage(ProgramMessage message) override { messages.push_back(message); }
    void OpenWebAddress(const std::string& url) override { opened.push_back(url); }
    void EndDialog(int result) override { endedWith.push_back(result); }
    void DrainSoon() override { ++drainsAsked; }

    std::vector<std::pair<std::string, int>> lines;
    int selectedRow = -1;
    int firstLineSelections = 0;
    int shownCount = -1;
    bool running[3] = {};
    std::function<bool(IpOctets&, IpOctets&)> editor;
    std::vector<std::pair<IpOctets, IpOctets>> shownValues;
    std::vector<ProgramMessage> messages;
    std::vector<std::string> opened;
    std::vector<int> endedWith;
    int drainsAsked = 0;
};

class ControllerTest : public ::testing::Test {
protected:
    // Starts the window and takes its first probe at the device.
    void Start()
    {
        ASSERT_EQ(m_controller.OnInitDialog(), 1);
        EXPECT_TRUE(m_window.running[TICKER_TIMER]);
        EXPECT_TRUE(m_window.running[SCAN_WINDOW_TIMER]) << "the first scan starts by itself";
        ASSERT_EQ(m_network.TakeSent(), Bytes(BuildProbe()));
    }
    void Answer(const DISCOVERY_PACKET& reply, unsigned via = 3) { m_network.waiting.emplace_back(reply, via); }
    // Reads until nothing more waits, as the window's readiness reports would have it do.
    void Drain()
    {
        do
            m_controller.ReceiveReplies();
        while (!m_network.waiting.empty());
    }
    bool NothingMoreSent() const { return m_network.sent.empty(); }
    // Scans again and lists these replies, the selection left to the test.
    void Rescan(const std::vector<DISCOVERY_PACKET>& replies)
    {
        m_controller.Refresh();
        ASSERT_EQ(m_network.TakeSent(), Bytes(BuildProbe()));
        for (const DISCOVERY_PACKET& reply : replies)
            Answer(reply);
        Drain();
        m_controller.OnTimer(SCAN_WINDOW_TIMER);
    }

    ScriptedNetwork m_network;
    RecordingWindow m_window;
    CDeviceListController m_controller{m_window, m_network};
};

TEST_F(ControllerTest, AScanListsEveryReplyOnceAndSelectsOnlyAtItsEnd)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    Answer(Reply(9));
    DISCOVERY_PACKET other = Reply(77);
    other.command = ToWireOrder16(CMD_SET_IP);
    Answer(other);
    Answer(Reply(10));
    Answer(Reply(10));   // a device answering twice is listed twice
    Drain();
    EXPECT_EQ(m_window.lines, (std::vector<std::pair<std::string, int>>{
                                  {FormatDeviceLine(Reply(9)), 0}, {FormatDeviceLine(Reply(10)), 1},
                                  {FormatDeviceLine(Reply(10)), 2}}));
    EXPECT_EQ(m_window.shownCount, 3);
    EXPECT_EQ(m_window.firstLineSelections, 0) << "only the end of the scan window selects";

    m_controller.OnTimer(SCAN_WINDOW_TIMER);
    EXPECT_FALSE(m_window.running[SCAN_WINDOW_TIMER]);
    EXPECT_EQ(m_window.firstLineSelections, 1);
    Answer(Reply(11));   // late: listed, the selection left alone
    Drain();
    EXPECT_EQ(m_window.lines.size(), 4u);
    EXPECT_EQ(m_window.firstLineSelections, 1);

    // A scan finding nothing selects nothing; the list and count were reset by it.
    m_controller.OnTimer(TICKER_TIMER);   // nothing armed: no scan
    EXPECT_TRUE(NothingMoreSent());
    m_controller.OnCommand(ID_VIEW_REFRESH);
    ASSERT_EQ(m_network.TakeSent(), Bytes(BuildProbe()));
    EXPECT_TRUE(m_window.lines.empty());
    EXPECT_EQ(m_window.shownCount, 0);
    m_controller.OnTimer(SCAN_WINDOW_TIMER);
    EXPECT_EQ(m_window.firstLineSelections, 1);
}

TEST_F(ControllerTest, ReadingGoesOnInBoundedBatchesUntilNothingWaits)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    for (int i = 0; i < RECEIVE_BATCH_READS + 10; ++i)
        Answer(Reply(std::uint8_t(i)));
    m_controller.ReceiveReplies();
    EXPECT_EQ(m_window.lines.size(), std::size_t(RECEIVE_BATCH_READS));
    EXPECT_EQ(m_window.drainsAsked, 1) << "a full batch asks to read on";
    m_controller.ReceiveReplies();
    EXPECT_EQ(m_window.lines.size(), std::size_t(RECEIVE_BATCH_READS + 10));
    EXPECT_EQ(m_window.drainsAsked, 2) << "datagrams may still be coming";
    m_controller.ReceiveReplies();
    EXPECT_EQ(m_window.drainsAsked, 2) << "a read that found nothing asks for no more";

    Answer(Reply(200));   // as if its readiness report were lost: the ticker reads it
    m_controller.OnTimer(TICKER_TIMER);
    EXPECT_EQ(m_window.lines.size(), std::size_t(RECEIVE_BATCH_READS + 11));
}

TEST_F(ControllerTest, FewerDevicesArmOneRescanOnTheTicker)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    Answer(Reply(1));
    Answer(Reply(2));
    Drain();
    m_controller.OnTimer(SCAN_WINDOW_TIMER);
    ASSERT_NO_FATAL_FAILURE(Rescan({Reply(1)}));
    EXPECT_TRUE(NothingMoreSent());
    // How many ticks it waits is the scan state's to own; here: it comes, once.
    for (int tick = 0; tick < 40; ++tick)
        m_controller.OnTimer(TICKER_TIMER);
    EXPECT_EQ(m_network.TakeSent(), Bytes(BuildProbe())) << "no rescan";
    EXPECT_TRUE(NothingMoreSent()) << "more than one rescan";
}

TEST_F(ControllerTest, AChangeGoesToTheChosenDeviceAfterItsValuesPassTheRules)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    Answer(Reply(5));
    Answer(Reply(6));
    Drain();
    m_controller.OnTimer(SCAN_WINDOW_TIMER);

    // Nothing selected, or an empty list: no dialog.
    m_controller.OnCommand(ID_CONFIG_IP_ADDRESS);
    EXPECT_TRUE(m_window.shownValues.empty());

    struct Case { IpOctets address, mask; std::vector<ProgramMessage> messages; };
    const Case refused[] = {
        {{10, 0, 0, 255}, {255, 255, 255, 0}, {ProgramMessage::InvalidIpAddress}},
        {{0, 0, 0, 0}, {0, 0, 0, 0}, {ProgramMessage::InvalidIpAddress}},   // both bad: the address only
        {{10, 0, 0, 7}, {254, 0, 0, 0}, {ProgramMessage::InvalidMask}},
        {{10, 0, 0, 6}, {255, 255, 255, 0}, {}},   // unchanged: nothing at all
    };
    m_window.selectedRow = 1;
    for (const Case& c : refused) {
        m_window.messages.clear();
        m_window.editor = [&](IpOctets& address, IpOctets& mask) {
            address = c.address;
            mask = c.mask;
            return true;
        };
        m_controller.OnCommand(IDOK);
        EXPECT_EQ(m_window.messages, c.messages);
    }
    m_window.editor = nullptr;   // Cancel
    m_controller.OnCommand(IDOK);
    EXPECT_EQ(m_window.shownValues.size(), std::size(refused) + 1);
    EXPECT_EQ(m_window.shownValues.back(), std::make_pair(Reply(6).ipAddress, Reply(6).ipMask));
    EXPECT_TRUE(NothingMoreSent()) << "a refused, unchanged or cancelled change sent something";
    m_controller.OnTimer(TICKER_TIMER);
    EXPECT_TRUE(NothingMoreSent()) << "a countdown was armed";

    // While the dialog is open a rescan refills the table in another order: the change
    // still goes to, and is compared with, the device chosen.
    m_window.editor = [&](IpOctets& address, IpOctets& mask) {
        Rescan({Reply(9), Reply(6)});
        address = {10, 0, 0, 50};
        mask = {255, 255, 0, 0};
        return true;
    };
    m_controller.OnCommand(ID_CONFIG_IP_ADDRESS);
    EXPECT_EQ(m_network.TakeSent(), Bytes(BuildSetIp({10, 0, 0, 50}, Reply(6).macAddress)));
    EXPECT_EQ(m_network.TakeSent(), Bytes(BuildSetMask({10, 0, 0, 50}, {255, 255, 0, 0}, Reply(6).macAddress)));
    EXPECT_TRUE(NothingMoreSent());
    for (int tick = 0; tick < 40; ++tick)
        m_controller.OnTimer(TICKER_TIMER);
    EXPECT_EQ(m_network.TakeSent(), Bytes(BuildProbe())) << "no rescan after the change";
    EXPECT_TRUE(NothingMoreSent());
}

// Cables pulled and plugged back between two scans.
TEST_F(ControllerTest, WithNoUsableInterfaceAScanSendsNothingAndTheNextOneFindsTheDevicesAgain)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    Answer(Reply(5), 3);
    Answer(Reply(6), 4);   // on a second interface
    Drain();
    m_controller.OnTimer(SCAN_WINDOW_TIMER);
    ASSERT_EQ(m_window.shownCount, 2);

    // The first interface's cable is pulled: its device's change goes nowhere, not out
    // of the interface that is left.
    m_network.usable = {4};
    m_window.editor = [](IpOctets& address, IpOctets&) {
        address[3] = std::uint8_t(address[3] + 50);
        return true;
    };
    m_window.selectedRow = 0;
    m_controller.OnCommand(ID_CONFIG_IP_ADDRESS);
    EXPECT_TRUE(NothingMoreSent()) << "sent by another interface";
    m_window.selectedRow = 1;
    m_controller.OnCommand(ID_CONFIG_IP_ADDRESS);
    unsigned via = 0;
    EXPECT_EQ(m_network.TakeSent(&via), Bytes(BuildSetIp({10, 0, 0, 56}, Reply(6).macAddress)));
    EXPECT_EQ(via, 4u);
    m_network.sent.clear();

    // Every cable pulled: three F5 presses send nothing and leave an empty list.
    m_network.usable.clear();
    for (int press = 0; press < 3; ++press) {
        m_controller.OnCommand(ID_VIEW_REFRESH);
        m_controller.OnTimer(SCAN_WINDOW_TIMER);
        EXPECT_TRUE(m_window.lines.empty());
        EXPECT_EQ(m_window.shownCount, 0);
    }
    EXPECT_TRUE(NothingMoreSent());

    // Plugged back: the first F5 finds them.
    m_network.usable = {3, 4};
    m_controller.OnCommand(ID_VIEW_REFRESH);
    EXPECT_EQ(m_network.TakeSent(&via), Bytes(BuildProbe()));
    EXPECT_EQ(via, 3u);
    EXPECT_EQ(m_network.TakeSent(&via), Bytes(BuildProbe()));
    EXPECT_EQ(via, 4u);
    Answer(Reply(5), 3);
    Answer(Reply(6), 4);
    Drain();
    EXPECT_EQ(m_window.shownCount, 2);
}

// The system could not give the interface list: not an empty network. The list stays,
// the failure is shown, and the next F5 that can list them scans as ever.
TEST_F(ControllerTest, AnInterfaceListThatCannotBeReadKeepsTheListAndSaysSo)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    Answer(Reply(5));
    Drain();
    m_controller.OnTimer(SCAN_WINDOW_TIMER);
    ASSERT_EQ(m_window.lines.size(), 1u);

    m_network.unlisted = true;
    m_controller.OnCommand(ID_VIEW_REFRESH);
    EXPECT_TRUE(NothingMoreSent());
    EXPECT_EQ(m_window.lines.size(), 1u) << "the list was emptied";
    EXPECT_EQ(m_window.shownCount, 1);
    EXPECT_EQ(m_window.messages, std::vector<ProgramMessage>{ProgramMessage::InterfacesNotListed});
    EXPECT_FALSE(m_window.running[SCAN_WINDOW_TIMER]) << "a scan window opened for no probe";

    m_network.unlisted = false;
    Rescan({Reply(6)});
    ASSERT_EQ(m_window.lines.size(), 1u);
    EXPECT_EQ(m_window.lines.front().first, FormatDeviceLine(Reply(6)));
}

TEST_F(ControllerTest, CommandsAndTheWebPageOfTheSelectedDevice)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    m_window.selectedRow = 0;
    m_controller.OnCommand(ID_CONFIG_DEVICE_SETTINGS);
    EXPECT_TRUE(m_window.opened.empty()) << "an empty list has no web page";
    Answer(Reply(9));
    Answer(Reply(10));
    Drain();
    m_window.selectedRow = -1;
    m_controller.OpenDeviceWebPage();
    EXPECT_TRUE(m_window.opened.empty());
    m_window.selectedRow = 1;
    EXPECT_TRUE(m_controller.OnCommand(ID_CONFIG_DEVICE_SETTINGS));
    EXPECT_EQ(m_window.opened, std::vector<std::string>{"http://10.0.0.10"});

    EXPECT_TRUE(m_controller.OnCommand(IDCANCEL)) << "Esc is taken, and does nothing";
    EXPECT_TRUE(m_window.endedWith.empty());
    EXPECT_FALSE(m_controller.OnCommand(IDC_DEVICE_LIST)) << "not a command of the table";
    EXPECT_TRUE(m_controller.OnCommand(ID_VIEW_EXIT));
    m_controller.OnClose();
    EXPECT_EQ(m_window.endedWith, (std::vector<int>{0, IDOK}));
    EXPECT_FALSE(m_network.IsOpen()) << "closing the window closes the sockets";
}

TEST(Controller, WithoutASocketTheMessageShowsAndARefreshStillOpensAWindow)
{
    ScriptedNetwork network;
    network.canOpen = false;
    RecordingWindow window;
    CDeviceListController controller(window, network);
    EXPECT_EQ(controller.OnInitDialog(), 0);
    EXPECT_EQ(window.messages, std::vector<ProgramMessage>{ProgramMessage::SocketCreateError});
    EXPECT_FALSE(window.running[TICKER_TIMER]);
    EXPECT_FALSE(controller.Scan().m_bScanning) << "no first scan";
    controller.OnCommand(ID_VIEW_REFRESH);
    EXPECT_TRUE(controller.Scan().m_bScanning);
    EXPECT_TRUE(window.running[SCAN_WINDOW_TIMER]);
    EXPECT_EQ(window.shownCount, 0);
    EXPECT_TRUE(network.sent.empty());
}

TEST(Controller, KeysAsWindowsReportThem)
{
    // A system key is pressed with Alt and without Ctrl; AltGr is Ctrl+Alt.
    EXPECT_EQ(ActionForKey(DialogKey::F5, false, false), KeyAction::Refresh);
    EXPECT_EQ(ActionForKey(DialogKey::F5, true, false), KeyAction::None);
    EXPECT_EQ(ActionForKey(DialogKey::F5, true, true), KeyAction::Refresh);
    EXPECT_EQ(ActionForKey(DialogKey::F5, false, true), KeyAction::Refresh);
    EXPECT_EQ(ActionForKey(DialogKey::Enter, false, false), KeyAction::ChangeAddress);
    EXPECT_EQ(ActionForKey(DialogKey::Enter, false, true), KeyAction::ChangeAddress);   // Ctrl (or Shift) + Enter
    EXPECT_EQ(ActionForKey(DialogKey::Enter, true, true), KeyAction::ChangeAddress);    // AltGr + Enter
    EXPECT_EQ(ActionForKey(DialogKey::Enter, true, false), KeyAction::OpenWebPage);
    EXPECT_EQ(ActionForKey(DialogKey::Other, true, false), KeyAction::None);
}

} // namespace
