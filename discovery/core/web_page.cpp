#include "web_page.h"

#include "dotted_quad.h"

std::string WebPageUrl(const IpOctets& address)
{
    return "http://" + FormatDottedQuad(address);
}
