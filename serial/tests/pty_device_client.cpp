#include "pty_device_client.h"

#include "hex.h"

#include <winsock2.h>

#include <cstdlib>
#include <sstream>

PtyDevice::PtyDevice() : socket_(INVALID_SOCKET)
{
    const char *port = std::getenv("SERWYN_DEVICE_CONTROL");
    WSADATA data;
    if (port == nullptr || WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::atoi(port)));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s != INVALID_SOCKET && ::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        closesocket(s);
        s = INVALID_SOCKET;
    }
    socket_ = s;
}

PtyDevice::~PtyDevice()
{
    if (socket_ != INVALID_SOCKET)
        closesocket(static_cast<SOCKET>(socket_));
    WSACleanup();
}

bool PtyDevice::connected() const { return socket_ != INVALID_SOCKET; }

std::string PtyDevice::request(const std::string &line)
{
    const SOCKET s = static_cast<SOCKET>(socket_);
    const std::string out = line + "\n";
    if (!connected() || ::send(s, out.data(), static_cast<int>(out.size()), 0) != static_cast<int>(out.size()))
        return "failed";
    std::string reply;
    char c;
    while (::recv(s, &c, 1, 0) == 1 && c != '\n')
        reply += c;
    return reply;
}

bool PtyDevice::send(const std::string &bytes)
{
    return request("send " + toHex(bytes)) == "ok";
}

std::string PtyDevice::receive(std::size_t count)
{
    return fromHex(request("receive " + std::to_string(count)));
}

std::map<std::string, long> PtyDevice::line()
{
    std::map<std::string, long> settings;
    std::istringstream in(request("line"));
    for (std::string field; in >> field;) {
        auto equals = field.find('=');
        if (equals != std::string::npos)
            settings[field.substr(0, equals)] = std::stol(field.substr(equals + 1));
    }
    return settings;
}

void PtyDevice::hangUp() { request("hangup"); }
