// Any text typed into the address dialog: the parser agrees with a second,
// independent reading of the dotted-quad grammar, and the address and mask
// rules agree with the rules as the operator is told them.
#include "address_rules.h"
#include "dotted_quad.h"
#include "fuzz_check.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// Four dot-separated fields of 1 to 3 decimal digits, each at most 255, then
// nothing but spaces; leading zeros allowed.
std::optional<IpOctets> ReferenceParse(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == '.')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    if (fields.size() != 4)
        return std::nullopt;
    IpOctets octets{};
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string& field = fields[i];
        if (field.empty() || field.size() > 3)
            return std::nullopt;
        int value = 0;
        for (char c : field) {
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 + (c - '0');
        }
        if (value > 255)
            return std::nullopt;
        octets[i] = static_cast<std::uint8_t>(value);
    }
    return octets;
}

bool ReferenceAddressRule(const IpOctets& a)
{
    const bool allZero = a[0] == 0 && a[1] == 0 && a[2] == 0 && a[3] == 0;
    return !allZero && a[0] < 224 && a[0] != 127 && a[3] != 255;
}

bool ReferenceMaskRule(const IpOctets& m)
{
    return m[0] == 255;   // which also makes it not all zero
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The dialog hands over a NUL-terminated text: an exact-size copy lets the
    // address sanitizer see any read past its end.
    auto text = std::make_unique<char[]>(size + 1);
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>(data[i]);
    text[size] = '\0';

    const IpOctets parsed = ParseDottedQuad(text.get());
    const std::optional<IpOctets> expected = ReferenceParse(std::string(text.get()));
    FUZZ_CHECK(parsed == expected.value_or(IpOctets{}));

    if (expected) {
        // What parses formats back to the canonical text, which parses the same.
        const std::string canonical = FormatDottedQuad(parsed);
        FUZZ_CHECK(ParseDottedQuad(canonical.c_str()) == parsed);
        FUZZ_CHECK(canonical.size() >= 7 && canonical.size() <= 15);
    }

    // A text that does not parse is all zero, which neither rule accepts.
    FUZZ_CHECK(IsAcceptableAddress(parsed) == ReferenceAddressRule(parsed));
    FUZZ_CHECK(IsAcceptableMask(parsed) == ReferenceMaskRule(parsed));
    if (!expected)
        FUZZ_CHECK(!IsAcceptableAddress(parsed) && !IsAcceptableMask(parsed));
    return 0;
}
