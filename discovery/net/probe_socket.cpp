#include "probe_socket.h"

#include "socket_platform.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t LARGEST_DATAGRAM = 65536;
constexpr int MAX_REPORTS_PER_READ = 64;

} // namespace

SendPolicy PlatformSendPolicy()
{
    return socket_platform::ONE_SOCKET_PER_INTERFACE ? SendPolicy::SocketPerInterface
                                                     : SendPolicy::OneSocketNamesTheInterface;
}

ProbeSocket::ProbeSocket(ProbeEndpoints endpoints, SocketWatcher* watcher)
    : m_endpoints(endpoints), m_watcher(watcher), m_scratch(LARGEST_DATAGRAM)
{
    if (m_endpoints.interfaces == nullptr)
        m_endpoints.interfaces = &SystemInterfaces();
}

ProbeSocket::~ProbeSocket()
{
    Close();
}

bool ProbeSocket::ListInterfaces(std::vector<NetworkInterface>& listed, std::string& error)
{
    // Read afresh at each call, so an interface that came, went or changed since the
    // last send counts as it is now.
    listed.clear();
    return m_endpoints.interfaces->List(listed, error);
}

bool ProbeSocket::Open(std::string& error)
{
    if (m_opened)
        return true;
    bool opened;
    if (PerInterface()) {
        // Fails only when no usable interface got its socket; one that did not is tried
        // again at the next send.
        // Without a list there is nothing to follow yet: the first send that gets one does.
        std::vector<NetworkInterface> listed;
        std::string why;
        const std::vector<NetworkInterface> chosen =
            ListInterfaces(listed, why) ? ChooseProbeInterfaces(listed) : std::vector<NetworkInterface>{};
        Follow(chosen, error);
        opened = chosen.empty() || !m_sockets.empty();
    } else {
        opened = OpenBound(m_endpoints.localAddress, 0, m_endpoints.localPort, error);
    }
    if (!opened) {
        Close();
        return false;
    }
    m_opened = true;
    return true;
}

void ProbeSocket::Close()
{
    while (!m_sockets.empty())
        CloseBound(m_sockets.size() - 1);
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

void ProbeSocket::Follow(const std::vector<NetworkInterface>& chosen, std::string& error)
{
    // A socket whose interface is gone or has another address now goes with it.
    for (std::size_t i = m_sockets.size(); i-- > 0;) {
        const Bound& socket = m_sockets[i];
        const bool stillThere = std::any_of(chosen.begin(), chosen.end(), [&](const NetworkInterface& c) {
            return c.index == socket.interfaceIndex && c.address == socket.address;
        });
        if (!stillThere)
            CloseBound(i);
    }
    for (const NetworkInterface& via : chosen) {
        const bool known = std::any_of(m_sockets.begin(), m_sockets.end(), [&](const Bound& socket) {
            return socket.interfaceIndex == via.index && socket.address == via.address;
        });
        if (!known)
            OpenBound(via.address, via.index, m_endpoints.localPort, error);
    }
}

const ProbeSocket::Bound* ProbeSocket::SocketFor(const NetworkInterface& via)
{
    if (!PerInterface())
        return m_sockets.empty() ? nullptr : &m_sockets.front();
    for (const Bound& socket : m_sockets)
        if (socket.interfaceIndex == via.index && socket.address == via.address)
            return &socket;
    std::string error;
    if (!OpenBound(via.address, via.index, m_endpoints.localPort, error))
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
    // A socket of its own needs no more: its binding is the way out.
    return SendFrom(*socket, packet, PerInterface() ? nullptr : &via, error);
}

int ProbeSocket::SendOnEveryInterface(const DISCOVERY_PACKET& packet)
{
    if (!m_opened)
        return 0;
    std::string error;
    std::vector<NetworkInterface> listed;
    if (!ListInterfaces(listed, error))
        return INTERFACES_NOT_LISTED;   // the sockets stay: the interfaces may well still be there
    const std::vector<NetworkInterface> chosen = ChooseProbeInterfaces(listed);
    if (PerInterface())
        Follow(chosen, error);   // an interface whose socket cannot be made now is tried at the next send
    int handed = 0;
    for (const NetworkInterface& via : chosen)
        handed += SendVia(packet, via, error) ? 1 : 0;
    return handed;
}

bool ProbeSocket::SendOnInterface(const DISCOVERY_PACKET& packet, unsigned interfaceIndex)
{
    if (!m_opened)
        return false;
    std::vector<NetworkInterface> listed;
    std::string error;
    if (!ListInterfaces(listed, error))
        return false;
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
        arrivalInterface = PerInterface() ? socket.interfaceIndex : told;
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
