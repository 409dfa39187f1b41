#include "probe_socket.h"

#include "interface_list.h"
#include "socket_platform.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr IpOctets ANY_ADDRESS{};
constexpr IpOctets LIMITED_BROADCAST{255, 255, 255, 255};
constexpr std::size_t LARGEST_DATAGRAM = 65536;
constexpr int MAX_REPORTS_PER_READ = 64;

// Read afresh at each call, so an interface that came up since the last scan counts;
// none when the system cannot list them.
std::vector<NetworkInterface> SystemInterfaces()
{
    std::vector<NetworkInterface> listed;
    std::string error;
    if (!ListNetworkInterfaces(listed, error))
        listed.clear();
    return listed;
}

} // namespace

ProbeSocket::ProbeSocket(ProbeEndpoints endpoints, SocketWatcher* watcher)
    : m_endpoints(endpoints), m_watcher(watcher), m_scratch(LARGEST_DATAGRAM)
{
}

ProbeSocket::~ProbeSocket()
{
    Close();
}

bool ProbeSocket::IsTestSetUp() const
{
    return m_endpoints.localAddress != ANY_ADDRESS || m_endpoints.destination != LIMITED_BROADCAST;
}

bool ProbeSocket::Open(std::string& error)
{
    if (m_opened)
        return true;
    if (!socket_platform::Start(error))
        return false;
    m_started = true;
    m_opened = true;
    if (socket_platform::ONE_SOCKET_PER_INTERFACE && !IsTestSetUp())
        Follow(ChooseProbeInterfaces(SystemInterfaces()));
    if (!m_sockets.empty())
        return true;
    // One socket on the address given: every interface where one socket serves them
    // all, a test's loopback address, or on Windows, while no interface can be probed,
    // a socket the next scans add to. The interface it is bound to tells arrivals.
    unsigned index = 0;
    if (m_endpoints.localAddress != ANY_ADDRESS) {
        for (const NetworkInterface& listed : SystemInterfaces())
            if (listed.hasIpv4 && listed.address == m_endpoints.localAddress)
                index = listed.index;
    }
    if (!OpenBound(m_endpoints.localAddress, index, m_endpoints.localPort, error)) {
        Close();
        return false;
    }
    return true;
}

void ProbeSocket::Close()
{
    while (!m_sockets.empty())
        CloseBound(m_sockets.size() - 1);
    if (m_started)
        socket_platform::Stop();
    m_started = false;
    m_opened = false;
}

bool ProbeSocket::OpenBound(const IpOctets& address, unsigned interfaceIndex, std::uint16_t port,
                            std::string& error)
{
    const SocketHandle handle = socket_platform::OpenUdp(address, port, error);
    if (handle < 0)
        return false;
    m_sockets.push_back({handle, interfaceIndex, address});
    if (m_watcher != nullptr)
        m_watcher->Watch(handle);
    return true;
}

void ProbeSocket::CloseBound(std::size_t which)
{
    const SocketHandle handle = m_sockets[which].handle;
    if (m_watcher != nullptr)
        m_watcher->Forget(handle);
    socket_platform::CloseUdp(handle);
    m_sockets.erase(m_sockets.begin() + std::ptrdiff_t(which));
    m_nextRead = 0;
}

void ProbeSocket::Follow(const std::vector<NetworkInterface>& chosen)
{
    if (!socket_platform::ONE_SOCKET_PER_INTERFACE || IsTestSetUp())
        return;
    // A socket whose interface is gone or has another address now goes with it; the
    // socket on every address made while none could be probed (index 0) stays.
    for (std::size_t i = m_sockets.size(); i-- > 0;) {
        const Bound& socket = m_sockets[i];
        const bool stillThere = std::any_of(chosen.begin(), chosen.end(), [&](const NetworkInterface& c) {
            return c.index == socket.interfaceIndex && c.address == socket.address;
        });
        if (socket.interfaceIndex != 0 && !stillThere)
            CloseBound(i);
    }
    for (const NetworkInterface& via : chosen)
        SocketFor(via);
}

const ProbeSocket::Bound* ProbeSocket::SocketFor(const NetworkInterface& via)
{
    if (!socket_platform::ONE_SOCKET_PER_INTERFACE || IsTestSetUp())
        return m_sockets.empty() ? nullptr : &m_sockets.front();
    for (const Bound& socket : m_sockets)
        if (socket.interfaceIndex == via.index && socket.address == via.address)
            return &socket;
    std::string error;
    if (!OpenBound(via.address, via.index, 0, error))
        return nullptr;
    return &m_sockets.back();
}

std::uint16_t ProbeSocket::LocalPort() const
{
    return m_sockets.empty() ? 0 : socket_platform::PortOf(m_sockets.front().handle);
}

std::vector<SocketHandle> ProbeSocket::Handles() const
{
    std::vector<SocketHandle> handles;
    for (const Bound& socket : m_sockets)
        handles.push_back(socket.handle);
    return handles;
}

bool ProbeSocket::SendFrom(const Bound& socket, const DISCOVERY_PACKET& packet, const NetworkInterface* via,
                           std::string& error)
{
    return socket_platform::SendDatagram(socket.handle, packet, m_endpoints.destination,
                                         m_endpoints.destinationPort, via, error);
}

bool ProbeSocket::SendVia(const DISCOVERY_PACKET& packet, const NetworkInterface& via, std::string& error)
{
    const Bound* socket = m_opened ? SocketFor(via) : nullptr;
    if (socket == nullptr) {
        error = "no socket is bound to " + via.name;
        return false;
    }
    return SendFrom(*socket, packet, &via, error);
}

int ProbeSocket::SendOnEveryInterface(const DISCOVERY_PACKET& packet)
{
    if (!m_opened || m_sockets.empty())
        return 0;
    std::string error;
    const std::vector<NetworkInterface> chosen =
        IsTestSetUp() ? std::vector<NetworkInterface>{} : ChooseProbeInterfaces(SystemInterfaces());
    Follow(chosen);
    if (chosen.empty())
        return SendFrom(m_sockets.front(), packet, nullptr, error) ? 1 : 0;
    int handed = 0;
    for (const NetworkInterface& via : chosen)
        handed += SendVia(packet, via, error) ? 1 : 0;
    return handed;
}

bool ProbeSocket::SendOnInterface(const DISCOVERY_PACKET& packet, unsigned interfaceIndex)
{
    if (!m_opened || m_sockets.empty())
        return false;
    std::string error;
    if (IsTestSetUp())
        return SendFrom(m_sockets.front(), packet, nullptr, error);
    const std::vector<NetworkInterface> listed = SystemInterfaces();
    const NetworkInterface* via = interfaceIndex != 0 ? FindInterface(listed, interfaceIndex) : nullptr;
    if (via == nullptr || !WhyNotProbed(*via).empty())
        return false;   // the device's interface is gone: no other may carry the command
    return SendVia(packet, *via, error);
}

std::int64_t ProbeSocket::Receive(DISCOVERY_PACKET& row, unsigned& arrivalInterface)
{
    arrivalInterface = 0;
    if (m_watcher != nullptr)
        m_watcher->Reading();
    const std::size_t count = m_sockets.size();
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t which = (m_nextRead + k) % count;
        const Bound& socket = m_sockets[which];
        std::int64_t size = 0;
        unsigned told = 0;
        // Each report is taken from the socket as it is read; a bound all the same, so
        // that a socket that kept giving them could not hold the reader here.
        ReadResult result = ReadResult::Report;
        for (int reports = 0; result == ReadResult::Report && reports < MAX_REPORTS_PER_READ; ++reports)
            result = socket_platform::ReadDatagram(socket.handle, m_scratch, size, told);
        if (result != ReadResult::Datagram)
            continue;
        m_nextRead = (which + 1) % count;
        arrivalInterface = told != 0 ? told : socket.interfaceIndex;
        if (size == std::int64_t(sizeof row))
            std::memcpy(&row, m_scratch.data(), sizeof row);
        return size;
    }
    return -1;
}

int ProbeSocket::DiscardPending(int limit)
{
    DISCOVERY_PACKET row{};
    unsigned arrival = 0;
    int discarded = 0;
    while (discarded < limit && Receive(row, arrival) >= 0)
        ++discarded;
    return discarded;
}

bool ProbeSocket::WaitReadable(int milliseconds)
{
    return !m_sockets.empty() && socket_platform::WaitReadable(Handles(), milliseconds);
}
