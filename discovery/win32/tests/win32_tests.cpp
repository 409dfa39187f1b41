#include "discovery_socket.h"
#include "interface_list.h"
#include "message_box.h"
#include "resource_ids.h"
#include "scripted_interfaces.h"
#include "win32_headers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- the socket, on loopback ----

// 127.0.0.1 as the one LAN: the socket is bound there.
ProbeEndpoints LoopbackOnly()
{
    static ScriptedInterfaces loopbackLan;
    loopbackLan.listed = {ScriptedLan("lan0", SystemLoopbackIndex(), {127, 0, 0, 1})};
    ProbeEndpoints endpoints;
    endpoints.localAddress = {127, 0, 0, 1};
    endpoints.interfaces = &loopbackLan;
    return endpoints;
}

// A message-only window that hands socket events to the socket and counts the
// notifications the socket passes on.
class SocketOwner {
public:
    SocketOwner()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"CorvaneSocketTestOwner";
        ::RegisterClassW(&windowClass);
        m_window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     windowClass.hInstance, this);
    }
    ~SocketOwner() { ::DestroyWindow(m_window); }

    // Handles messages until a notification arrives; false if none comes at all.
    bool WaitForNotification()
    {
        const int before = m_notifications;
        const ULONGLONG giveUp = ::GetTickCount64() + 20000;   // a guard against hanging, not a speed check
        while (m_notifications == before && ::GetTickCount64() < giveUp) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&message);
        }
        return m_notifications > before;
    }

    HWND m_window = nullptr;
    CDiscoverySocket m_socket{LoopbackOnly()};
    int m_notifications = 0;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE)
            ::SetWindowLongPtrW(window, GWLP_USERDATA,
                                LONG_PTR(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<SocketOwner*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && message == WM_DISCOVERY_SOCKET_EVENT) {
            self->m_socket.OnSocketEvent(lParam);
            return 0;
        }
        if (self != nullptr && message == WM_DISCOVERY_RECEIVE) {
            ++self->m_notifications;
            return 1;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
};

class DiscoverySocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(m_owner.m_window, nullptr);
        m_owner.m_socket.m_pOwner = m_owner.m_window;
        std::string error;
        ASSERT_TRUE(Sockets().Open(error)) << error;
        m_sender = ::socket(AF_INET, SOCK_DGRAM, 0);
        ASSERT_NE(m_sender, INVALID_SOCKET);
    }
    void TearDown() override
    {
        ::closesocket(m_sender);
        Sockets().Close();
    }

    void Send(const void* data, int size)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(Sockets().LocalPort());
        ASSERT_EQ(::sendto(m_sender, static_cast<const char*>(data), size, 0, reinterpret_cast<sockaddr*>(&to),
                           sizeof to),
                  size);
    }
    void Send(const DISCOVERY_PACKET& packet) { Send(&packet, sizeof packet); }

    static DISCOVERY_PACKET Reply(std::uint8_t last)
    {
        DISCOVERY_PACKET reply = BuildProbe();
        reply.ipAddress = {10, 0, 0, last};
        return reply;
    }

    ProbeSocket& Sockets() { return m_owner.m_socket.Sockets(); }

    SocketOwner m_owner;
    SOCKET m_sender = INVALID_SOCKET;
};

unsigned LoopbackIndex()
{
    std::vector<NetworkInterface> listed;
    std::string error;
    EXPECT_TRUE(ListNetworkInterfaces(listed, error)) << error;
    for (const NetworkInterface& entry : listed)
        if (entry.loopback && entry.hasIpv4)
            return entry.index;
    return 0;
}

TEST_F(DiscoverySocketTest, ReadsReportTheTrueSizeAndOnlyWholeDatagramsFillTheRow)
{
    const std::vector<char> longer(21, 'L'), shorter(19, 'S'), large(3000, 'X');
    Send(longer.data(), int(longer.size()));
    Send(shorter.data(), int(shorter.size()));
    Send(large.data(), int(large.size()));
    Send(Reply(7));
    ASSERT_TRUE(m_owner.WaitForNotification());

    DISCOVERY_PACKET row = Reply(99);
    unsigned arrival = 0;
    EXPECT_EQ(Sockets().Receive(row, arrival), 21);
    EXPECT_EQ(row.ipAddress[3], 99) << "a longer datagram must not be cut into the row";
    EXPECT_EQ(Sockets().Receive(row, arrival), 19);
    EXPECT_EQ(row.ipAddress[3], 99);
    EXPECT_EQ(Sockets().Receive(row, arrival), 3000);
    EXPECT_EQ(Sockets().Receive(row, arrival), 20);
    EXPECT_EQ(std::memcmp(&row, &static_cast<const DISCOVERY_PACKET&>(Reply(7)), sizeof row), 0);
    EXPECT_EQ(arrival, LoopbackIndex()) << "a reply tells the interface it came in by";
    EXPECT_NE(arrival, 0u);
    EXPECT_LT(Sockets().Receive(row, arrival), 0) << "nothing waits any more";
}

TEST_F(DiscoverySocketTest, DatagramsLeftUnreadAreDiscardedAndLaterOnesAnnounced)
{
    // As with a full table: the notification came and nothing was read.
    Send(Reply(1));
    Send(Reply(2));
    Send(Reply(3));
    ASSERT_TRUE(m_owner.WaitForNotification());
    // Loopback delivers in order: once the last one is readable, all are there.
    EXPECT_EQ(Sockets().DiscardPending(2), 2) << "the discard is bounded";
    EXPECT_EQ(Sockets().DiscardPending(100), 1);

    Send(Reply(4));
    ASSERT_TRUE(m_owner.WaitForNotification()) << "reading must bring the notification back";
    // Announced twice over, as the level-triggered notification may: the events already
    // queued are taken away, and the window is told once.
    const int before = m_owner.m_notifications;
    ::PostMessageW(m_owner.m_window, WM_DISCOVERY_SOCKET_EVENT, 0, FD_READ);
    ::PostMessageW(m_owner.m_window, WM_DISCOVERY_SOCKET_EVENT, 0, FD_READ);
    MSG first;
    ASSERT_TRUE(::PeekMessageW(&first, m_owner.m_window, WM_DISCOVERY_SOCKET_EVENT, WM_DISCOVERY_SOCKET_EVENT,
                               PM_REMOVE));
    m_owner.m_socket.OnSocketEvent(first.lParam);
    EXPECT_EQ(m_owner.m_notifications, before + 1);
    MSG left;
    EXPECT_FALSE(::PeekMessageW(&left, m_owner.m_window, WM_DISCOVERY_SOCKET_EVENT, WM_DISCOVERY_SOCKET_EVENT,
                                PM_NOREMOVE)) << "events already queued were left";
    DISCOVERY_PACKET row{};
    unsigned arrival = 0;
    EXPECT_EQ(Sockets().Receive(row, arrival), 20);
    EXPECT_EQ(row.ipAddress[3], 4) << "a stale datagram survived the discard";
}

// ---- the caption of the program's messages ----

TEST(ProgramName, IsTheExecutablesFileNameWithoutExtension)
{
    EXPECT_EQ(ProgramNameFromPath(L"C:\\Program Files\\Corvane\\Corvane.exe"), L"Corvane");
    EXPECT_EQ(ProgramNameFromPath(L"C:\\tools.d\\Corvane2.EXE"), L"Corvane2");
    EXPECT_EQ(ProgramNameFromPath(L"D:/x/net.scan.exe"), L"net.scan");
    EXPECT_EQ(ProgramNameFromPath(L"Corvane"), L"Corvane");
}

// ---- the resources, read back from this executable ----

TEST(Resources, TheSocketsMessageAndBothIconSizes)
{
    // The string is UTF-8 in the script; a wrong code page would garble it here.
    HMODULE module = ::GetModuleHandleW(nullptr);
    wchar_t message[64] = {};
    ASSERT_GT(::LoadStringW(module, IDS_SOCKETS_INIT_FAILED, message, 64), 0);
    EXPECT_EQ(std::wstring(message), L"Windows sockets \u555F\u59CB\u5931\u6557\u3002");


    // The icon group's directory: one image per size, not one scaled by the system.
    HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), MAKEINTRESOURCEW(14));   // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* directory = static_cast<const BYTE*>(::LockResource(::LoadResource(module, group)));
    WORD count = 0;
    std::memcpy(&count, directory + 4, sizeof count);
    std::vector<int> widths;
    for (WORD i = 0; i < count; ++i)
        widths.push_back(directory[6 + 14 * i]);   // entries of 14 bytes, the width first
    std::sort(widths.begin(), widths.end());
    EXPECT_EQ(widths, (std::vector<int>{16, 32}));
}

} // namespace
