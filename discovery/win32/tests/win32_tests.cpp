#include "discovery_socket.h"
#include "interface_list.h"
#include "program_messages.h"
#include "resource_ids.h"
#include "win32_headers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- the socket, on loopback ----

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
    CDiscoverySocket m_socket;
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
        WSADATA data;
        ASSERT_EQ(::WSAStartup(MAKEWORD(1, 1), &data), 0);
        ASSERT_NE(m_owner.m_window, nullptr);
        ASSERT_TRUE(m_owner.m_socket.Create(m_owner.m_window, INADDR_LOOPBACK));
        m_owner.m_socket.m_pOwner = m_owner.m_window;
        m_sender = ::socket(AF_INET, SOCK_DGRAM, 0);
        ASSERT_NE(m_sender, INVALID_SOCKET);
    }
    void TearDown() override
    {
        ::closesocket(m_sender);
        m_owner.m_socket.Close();
        ::WSACleanup();
    }

    void Send(const void* data, int size)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(m_owner.m_socket.LocalPort());
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
    EXPECT_EQ(m_owner.m_socket.ReceiveFrom(row, arrival), 21);
    EXPECT_EQ(row.ipAddress[3], 99) << "a longer datagram must not be cut into the row";
    EXPECT_EQ(m_owner.m_socket.ReceiveFrom(row, arrival), 19);
    EXPECT_EQ(row.ipAddress[3], 99);
    EXPECT_EQ(m_owner.m_socket.ReceiveFrom(row, arrival), 3000);
    EXPECT_EQ(m_owner.m_socket.ReceiveFrom(row, arrival), 20);
    EXPECT_EQ(std::memcmp(&row, &static_cast<const DISCOVERY_PACKET&>(Reply(7)), sizeof row), 0);
    EXPECT_EQ(arrival, LoopbackIndex()) << "a reply tells the interface it came in by";
    EXPECT_NE(arrival, 0u);
    EXPECT_LT(m_owner.m_socket.ReceiveFrom(row, arrival), 0) << "nothing waits any more";
}

TEST_F(DiscoverySocketTest, DatagramsLeftUnreadAreDiscardedAndLaterOnesAnnounced)
{
    // As with a full table: the notification came and nothing was read.
    Send(Reply(1));
    Send(Reply(2));
    Send(Reply(3));
    ASSERT_TRUE(m_owner.WaitForNotification());
    // Loopback delivers in order: once the last one is readable, all are there.
    EXPECT_EQ(m_owner.m_socket.DiscardPending(), 3);

    Send(Reply(4));
    ASSERT_TRUE(m_owner.WaitForNotification()) << "reading must bring the notification back";
    DISCOVERY_PACKET row{};
    unsigned arrival = 0;
    EXPECT_EQ(m_owner.m_socket.ReceiveFrom(row, arrival), 20);
    EXPECT_EQ(row.ipAddress[3], 4) << "a stale datagram survived the discard";
}

TEST_F(DiscoverySocketTest, AClosedSocketNeitherReadsNorNotifies)
{
    Send(Reply(1));
    m_owner.m_socket.Close();
    DISCOVERY_PACKET row{};
    unsigned arrival = 0;
    EXPECT_LT(m_owner.m_socket.ReceiveFrom(row, arrival), 0);
    EXPECT_EQ(m_owner.m_socket.DiscardPending(), 0);
    m_owner.m_socket.OnSocketEvent(WSAMAKESELECTREPLY(FD_READ, 0));
    EXPECT_EQ(m_owner.m_notifications, 0);
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

struct DialogControl {
    int id;
    int kind;   // the predefined class atom: 0x80 button, 0x81 edit, 0x82 static, 0x83 list box
    std::wstring text;
    short x, y, cx, cy;
    DWORD style;
};

struct DialogTemplate {
    DWORD style = 0, exStyle = 0;
    short cx = 0, cy = 0;
    int menu = 0;
    std::wstring caption, font;
    int pointSize = 0;
    std::vector<DialogControl> controls;
};

// Reads an extended dialog template (the layout windres writes).
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : m_at(data), m_start(data) {}
    template <typename T> T Take()
    {
        T value;
        std::memcpy(&value, m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    // A string, or an ordinal (0xFFFF then the number) returned as its negative.
    std::wstring TakeText(int* ordinal = nullptr)
    {
        const WORD first = Take<WORD>();
        if (first == 0xFFFF) {
            const WORD number = Take<WORD>();
            if (ordinal != nullptr)
                *ordinal = number;
            return {};
        }
        std::wstring text;
        for (WORD c = first; c != 0; c = Take<WORD>())
            text += wchar_t(c);
        return text;
    }
    void AlignToDword()
    {
        while ((m_at - m_start) % 4 != 0)
            ++m_at;
    }

private:
    const BYTE* m_at;
    const BYTE* m_start;
};

DialogTemplate LoadDialogTemplate(int id)
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));   // RT_DIALOG
    if (resource == nullptr)
        return {};
    TemplateReader reader(static_cast<const BYTE*>(::LockResource(::LoadResource(module, resource))));
    DialogTemplate dialog;
    if (reader.Take<WORD>() != 1 || reader.Take<WORD>() != 0xFFFF)
        return {};
    reader.Take<DWORD>();   // help id
    dialog.exStyle = reader.Take<DWORD>();
    dialog.style = reader.Take<DWORD>();
    const WORD count = reader.Take<WORD>();
    reader.Take<short>();
    reader.Take<short>();
    dialog.cx = reader.Take<short>();
    dialog.cy = reader.Take<short>();
    reader.TakeText(&dialog.menu);
    reader.TakeText();   // class
    dialog.caption = reader.TakeText();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = reader.Take<WORD>();
        reader.Take<WORD>();
        reader.Take<BYTE>();
        reader.Take<BYTE>();
        dialog.font = reader.TakeText();
    }
    for (WORD i = 0; i < count; ++i) {
        reader.AlignToDword();
        DialogControl control{};
        reader.Take<DWORD>();   // help id
        reader.Take<DWORD>();   // extended style
        control.style = reader.Take<DWORD>();
        control.x = reader.Take<short>();
        control.y = reader.Take<short>();
        control.cx = reader.Take<short>();
        control.cy = reader.Take<short>();
        control.id = int(reader.Take<DWORD>());
        reader.TakeText(&control.kind);
        control.text = reader.TakeText();
        const WORD extra = reader.Take<WORD>();
        for (WORD b = 0; b < extra; ++b)
            reader.Take<BYTE>();
        dialog.controls.push_back(control);
    }
    return dialog;
}

bool Has(DWORD style, DWORD bits)
{
    return (style & bits) == bits;
}

TEST(Resources, MainWindowLayout)
{
    const DialogTemplate dialog = LoadDialogTemplate(IDD_DEVICE_LIST);
    EXPECT_EQ(dialog.caption, L"Corvane");
    EXPECT_EQ(dialog.menu, IDR_MAIN_MENU);
    EXPECT_EQ(dialog.font, L"Fixedsys");
    EXPECT_EQ(dialog.pointSize, 12);
    EXPECT_EQ(dialog.cx, 258);
    EXPECT_EQ(dialog.cy, 153);
    EXPECT_TRUE(Has(dialog.style, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | WS_VISIBLE));
    EXPECT_FALSE(dialog.style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_TRUE(Has(dialog.exStyle, WS_EX_APPWINDOW));

    ASSERT_EQ(dialog.controls.size(), 7u);
    const DialogControl& list = dialog.controls[0];
    EXPECT_EQ(list.id, IDC_DEVICE_LIST);
    EXPECT_EQ(list.kind, 0x83);
    EXPECT_EQ((std::vector<short>{list.x, list.y, list.cx, list.cy}), (std::vector<short>{6, 14, 245, 122}));
    EXPECT_TRUE(Has(list.style, LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP));
    const std::pair<const wchar_t*, std::vector<short>> labels[] = {
        {L"IP Address", {9, 4, 41, 8}},   {L"Subnet Mask", {72, 4, 45, 8}},          {L"MAC Address", {138, 4, 45, 8}},
        {L"Device ID", {210, 4, 37, 8}}, {L"Devices detected", {164, 140, 65, 8}},
    };
    for (std::size_t i = 0; i < 5; ++i) {
        const DialogControl& label = dialog.controls[i + 1];
        EXPECT_EQ(label.kind, 0x82);
        EXPECT_EQ(label.text, labels[i].first);
        EXPECT_EQ((std::vector<short>{label.x, label.y, label.cx, label.cy}), labels[i].second);
    }
    const DialogControl& count = dialog.controls[6];
    EXPECT_EQ(count.id, IDC_DEVICE_COUNT);
    EXPECT_EQ(count.kind, 0x81);
    EXPECT_EQ((std::vector<short>{count.x, count.y, count.cx, count.cy}), (std::vector<short>{232, 138, 19, 12}));
    EXPECT_TRUE(Has(count.style, ES_READONLY | ES_CENTER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP));
}

TEST(Resources, AddressDialogLayout)
{
    const DialogTemplate dialog = LoadDialogTemplate(IDD_SET_ADDRESS);
    EXPECT_EQ(dialog.caption, L"Set IP Address");
    EXPECT_EQ(dialog.font, L"System");
    EXPECT_EQ(dialog.pointSize, 10);
    EXPECT_EQ(dialog.cx, 184);
    EXPECT_EQ(dialog.cy, 43);
    EXPECT_TRUE(Has(dialog.style, WS_POPUP | WS_CAPTION | DS_MODALFRAME));
    EXPECT_FALSE(dialog.style & WS_SYSMENU);

    ASSERT_EQ(dialog.controls.size(), 6u);
    const struct {
        int id, kind;
        const wchar_t* text;
        std::vector<short> box;
        DWORD style;
    } expected[] = {
        {IDC_ADDRESS, 0x81, L"", {62, 7, 58, 12}, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
        {IDC_MASK, 0x81, L"", {62, 21, 58, 12}, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
        {IDOK, 0x80, L"OK", {136, 8, 34, 10}, BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDCANCEL, 0x80, L"Cancel", {136, 21, 34, 10}, WS_TABSTOP},
        {-1, 0x82, L"IP Address", {12, 8, 41, 8}, 0},
        {-1, 0x82, L"Subnet Mask", {11, 22, 45, 8}, 0},
    };
    for (std::size_t i = 0; i < 6; ++i) {
        const DialogControl& control = dialog.controls[i];
        EXPECT_EQ(short(control.id), expected[i].id) << i;
        EXPECT_EQ(control.kind, expected[i].kind) << i;
        EXPECT_EQ(control.text, expected[i].text) << i;
        EXPECT_EQ((std::vector<short>{control.x, control.y, control.cx, control.cy}), expected[i].box) << i;
        EXPECT_TRUE(Has(control.style, expected[i].style)) << i;
    }
    EXPECT_EQ(dialog.controls[3].style & 0xF, DWORD(BS_PUSHBUTTON)) << "Cancel is not a default button";
}

TEST(Resources, MenuStringAndIcon)
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    HMENU menu = ::LoadMenuW(module, MAKEINTRESOURCEW(IDR_MAIN_MENU));
    ASSERT_NE(menu, nullptr);
    auto text = [](HMENU owner, UINT position) {
        wchar_t buffer[64] = {};
        ::GetMenuStringW(owner, position, buffer, 64, MF_BYPOSITION);
        return std::wstring(buffer);
    };
    ASSERT_EQ(::GetMenuItemCount(menu), 2);
    EXPECT_EQ(text(menu, 0), L"&View");
    EXPECT_EQ(text(menu, 1), L"&Config");
    HMENU view = ::GetSubMenu(menu, 0);
    HMENU config = ::GetSubMenu(menu, 1);
    ASSERT_EQ(::GetMenuItemCount(view), 3);
    EXPECT_EQ(text(view, 0), L"&Refresh\tF5");
    EXPECT_EQ(::GetMenuItemID(view, 0), UINT(ID_VIEW_REFRESH));
    EXPECT_EQ(::GetMenuState(view, 1, MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
    EXPECT_EQ(text(view, 2), L"E&xit\tAlt+F4");
    EXPECT_EQ(::GetMenuItemID(view, 2), UINT(ID_VIEW_EXIT));
    ASSERT_EQ(::GetMenuItemCount(config), 2);
    EXPECT_EQ(text(config, 0), L"&IP Address\tEnter");
    EXPECT_EQ(::GetMenuItemID(config, 0), UINT(ID_CONFIG_IP_ADDRESS));
    EXPECT_EQ(text(config, 1), L"&Device Settings\tAlt+Enter");
    EXPECT_EQ(::GetMenuItemID(config, 1), UINT(ID_CONFIG_DEVICE_SETTINGS));
    ::DestroyMenu(menu);

    wchar_t message[64] = {};
    ASSERT_GT(::LoadStringW(module, IDS_SOCKETS_INIT_FAILED, message, 64), 0);
    EXPECT_EQ(std::wstring(message), L"Windows sockets \u555F\u59CB\u5931\u6557\u3002");

    for (int size : {16, 32}) {
        HICON icon = static_cast<HICON>(
            ::LoadImageW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAP bitmap{};
        ::GetObjectW(info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        ::DeleteObject(info.hbmMask);
        ::DeleteObject(info.hbmColor);
        ::DestroyIcon(icon);
    }
}

} // namespace
