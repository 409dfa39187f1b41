#pragma once
// The socket of corvane-scan and corvane-set: with --interface, made on that
// interface alone; either way the interfaces are read afresh at every send.

#include "interface_list.h"
#include "probe_interfaces.h"
#include "probe_socket.h"

#include <string>

class ToolSocket {
public:
    explicit ToolSocket(const std::string& interfaceName)
        : m_only(SystemInterfaces(), interfaceName), m_socket(Endpoints(interfaceName, m_only))
    {
    }
    ProbeSocket& Socket() { return m_socket; }

private:
    static ProbeEndpoints Endpoints(const std::string& interfaceName, InterfaceSource& only)
    {
        ProbeEndpoints endpoints;
        if (!interfaceName.empty())
            endpoints.interfaces = &only;
        return endpoints;
    }

    OnlyInterface m_only;   // outlives the socket that reads it
    ProbeSocket m_socket;
};
