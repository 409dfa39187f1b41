// The main window's behaviour over real sockets on loopback; the window is a recorder
// of what the controller asks of it.

#include "device_list_controller.h"
#include "device_line.h"
#include "probe_socket.h"
#include "resource_ids.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
using Descriptor = SOCKET;
#else
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using Descriptor = int;
#endif

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// A plain UDP socket on 127.0.0.1 playing the devices.
class LoopbackDevice {
public:
    LoopbackDevice()
    {
#ifdef _WIN32
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
#endif
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local = Loopback(0);
        ::bind(m_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local);
#ifdef _WIN32
        int length = sizeof local;
#else
        socklen_t length = sizeof local;
#endif
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &length);
        m_port = ntohs(local.sin_port);
    }
    ~LoopbackDevice()
    {
#ifdef _WIN32
        ::closesocket(m_socket);
        ::WSACleanup();
#else
        ::close(m_socket);
#endif
    }
    std::uint16_t Port() const { return m_port; }

    // The next datagram sent to the device, or an empty one after 10 s (a guard, not a check).
    std::vector<unsigned char> Receive()
    {
        std::vector<unsigned char> data(64);
#ifdef _WIN32
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_socket, &readable);
        timeval wait{10, 0};
        if (::select(0, &readable, nullptr, nullptr, &wait) <= 0)
            return {};
        const int size = ::recv(m_socket, reinterpret_cast<char*>(data.data()), int(data.size()), 0);
#else
        pollfd waiting{m_socket, POLLIN, 0};
        if (::poll(&waiting, 1, 10000) <= 0)
            return {};
        const ssize_t size = ::recv(m_socket, data.data(), data.size(), 0);
#endif
        data.resize(size > 0 ? std::size_t(size) : 0);
        return data;
    }
    // True when nothing more was sent to the device (what was sent before is there by now:
    // loopback delivers before the send returns).
    bool NothingMoreReceived()
    {
#ifdef _WIN32
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_socket, &readable);
        timeval now{0, 0};
        return ::select(0, &readable, nullptr, nullptr, &now) == 0;
#else
        pollfd waiting{m_socket, POLLIN, 0};
        return ::poll(&waiting, 1, 0) == 0;
#endif
    }
    void SendTo(std::uint16_t port, const DISCOVERY_PACKET& packet)
    {
        const sockaddr_in to = Loopback(port);
        ::sendto(m_socket, reinterpret_cast<const char*>(&packet), sizeof packet, 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

private:
    static sockaddr_in Loopback(std::uint16_t port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        return address;
    }

    Descriptor m_socket;
    std::uint16_t m_port = 0;
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
    const auto* bytes = reinterpret_cast<const unsigned char*>(&packet);
    return {bytes, bytes + sizeof packet};
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

ProbeEndpoints ToDevice(const LoopbackDevice& device)
{
    ProbeEndpoints endpoints;
    endpoints.localAddress = {127, 0, 0, 1};
    endpoints.destination = {127, 0, 0, 1};
    endpoints.destinationPort = device.Port();
    return endpoints;
}

class ControllerTest : public ::testing::Test {
protected:
    // Starts the window and takes its first probe at the device.
    void Start()
    {
        ASSERT_EQ(m_controller.OnInitDialog(), 1);
        EXPECT_TRUE(m_window.running[TICKER_TIMER]);
        EXPECT_TRUE(m_window.running[SCAN_WINDOW_TIMER]) << "the first scan starts by itself";
        ASSERT_EQ(m_device.Receive(), Bytes(BuildProbe()));
    }
    void Answer(const DISCOVERY_PACKET& reply) { m_device.SendTo(m_socket.LocalPort(), reply); }
    // Reads until the socket has nothing more, as the window's readiness reports would have it do.
    void Drain()
    {
        do
            m_controller.ReceiveReplies();
        while (m_socket.WaitReadable(0));
    }
    // Scans again and lists these replies, the selection left to the test.
    void Rescan(const std::vector<DISCOVERY_PACKET>& replies)
    {
        m_controller.Refresh();
        ASSERT_EQ(m_device.Receive(), Bytes(BuildProbe()));
        for (const DISCOVERY_PACKET& reply : replies)
            Answer(reply);
        Drain();
        m_controller.OnTimer(SCAN_WINDOW_TIMER);
    }

    LoopbackDevice m_device;
    ProbeSocket m_socket{ToDevice(m_device)};
    RecordingWindow m_window;
    CDeviceListController m_controller{m_window, m_socket};
};

TEST_F(ControllerTest, AScanListsEveryReplyOnceSelectsOnlyAtItsEndAndIgnoresARefreshWhileOpen)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    m_controller.OnCommand(ID_VIEW_REFRESH);   // inside the window: ignored
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
    EXPECT_TRUE(m_device.NothingMoreReceived()) << "F5 inside the window sent a second probe";

    m_controller.OnTimer(SCAN_WINDOW_TIMER);
    EXPECT_FALSE(m_window.running[SCAN_WINDOW_TIMER]);
    EXPECT_EQ(m_window.firstLineSelections, 1);
    Answer(Reply(11));   // late: listed, the selection left alone
    Drain();
    EXPECT_EQ(m_window.lines.size(), 4u);
    EXPECT_EQ(m_window.firstLineSelections, 1);

    // A scan finding nothing selects nothing; the list and count were reset by it.
    m_controller.OnTimer(TICKER_TIMER);   // nothing armed: no scan
    EXPECT_TRUE(m_device.NothingMoreReceived());
    m_controller.OnCommand(ID_VIEW_REFRESH);
    ASSERT_EQ(m_device.Receive(), Bytes(BuildProbe()));
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
    ASSERT_TRUE(m_socket.WaitReadable(10000));
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
    for (int tick = 1; tick < RESCAN_TICKS_AFTER_DROP; ++tick)
        m_controller.OnTimer(TICKER_TIMER);
    EXPECT_TRUE(m_device.NothingMoreReceived()) << "rescanned before the fifth tick";
    m_controller.OnTimer(TICKER_TIMER);
    EXPECT_EQ(m_device.Receive(), Bytes(BuildProbe())) << "no rescan on the fifth tick";
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
    EXPECT_TRUE(m_device.NothingMoreReceived()) << "a refused, unchanged or cancelled change sent something";
    m_controller.OnTimer(TICKER_TIMER);
    EXPECT_TRUE(m_device.NothingMoreReceived()) << "a countdown was armed";

    // While the dialog is open a rescan refills the table in another order: the change
    // still goes to, and is compared with, the device chosen.
    m_window.editor = [&](IpOctets& address, IpOctets& mask) {
        Rescan({Reply(9), Reply(6)});
        address = {10, 0, 0, 50};
        mask = {255, 255, 0, 0};
        return true;
    };
    m_controller.OnCommand(ID_CONFIG_IP_ADDRESS);
    EXPECT_EQ(m_device.Receive(), Bytes(BuildSetIp({10, 0, 0, 50}, Reply(6).macAddress)));
    EXPECT_EQ(m_device.Receive(), Bytes(BuildSetMask({10, 0, 0, 50}, {255, 255, 0, 0}, Reply(6).macAddress)));
    EXPECT_EQ(m_controller.Scan().m_nRescanCountdown, RESCAN_TICKS_AFTER_CHANGE);
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
    EXPECT_FALSE(m_socket.IsOpen()) << "closing the window closes the sockets";
}

TEST(Controller, WithoutASocketTheMessageShowsAndARefreshStillOpensAWindow)
{
    LoopbackDevice device;
    ProbeEndpoints taken = ToDevice(device);
    taken.localPort = device.Port();   // held by the device: the bind fails
    ProbeSocket socket(taken);
    RecordingWindow window;
    CDeviceListController controller(window, socket);
    EXPECT_EQ(controller.OnInitDialog(), 0);
    EXPECT_EQ(window.messages, std::vector<ProgramMessage>{ProgramMessage::SocketCreateError});
    EXPECT_FALSE(window.running[TICKER_TIMER]);
    EXPECT_FALSE(controller.Scan().m_bScanning) << "no first scan";
    controller.OnCommand(ID_VIEW_REFRESH);
    EXPECT_TRUE(controller.Scan().m_bScanning);
    EXPECT_TRUE(window.running[SCAN_WINDOW_TIMER]);
    EXPECT_EQ(window.shownCount, 0);
    EXPECT_TRUE(device.NothingMoreReceived());
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
