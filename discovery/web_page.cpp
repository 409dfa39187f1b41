#include "web_page.h"

#include "dotted_quad.h"

std::string WebPageUrl(const IpOctets& address)
{
    return "http://" + FormatDottedQuad(address);
}

std::string WebPageCommandLine(const IpOctets& address)
{
    return "explorer " + WebPageUrl(address);
}
