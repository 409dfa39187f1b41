#include "dotted_quad.h"

#include <cstdio>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

IpOctets ParseDottedQuad(const char* text)
{
    const IpOctets failure{};
    if (text == nullptr)
        return failure;
    IpOctets result{};
    const char* p = text;
    for (int octet = 0; octet < 4; ++octet) {
        if (!IsDigit(*p))
            return failure;
        int value = 0;
        // Three digits end the octet without looking further, so "1000" fails on the 4th digit.
        for (int digits = 0; digits < 3 && IsDigit(*p); ++digits, ++p)
            value = value * 10 + (*p - '0');
        if (value > 255)
            return failure;
        result[static_cast<std::size_t>(octet)] = static_cast<std::uint8_t>(value);
        if (octet < 3) {
            if (*p != '.')
                return failure;
            ++p;
        }
    }
    while (*p == ' ')
        ++p;
    return *p == '\0' ? result : failure;
}

IpOctets ParseAddressField(std::string_view text)
{
    if (text.find('\0') != std::string_view::npos)
        return {};
    return ParseDottedQuad(std::string(text).c_str());
}

std::string FormatDottedQuad(const IpOctets& octets)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]);
    return text;
}

bool IsAllZero(const IpOctets& octets)
{
    return octets == IpOctets{};
}
