#include "set_request.h"

#include "address_rules.h"
#include "device_line.h"
#include "dotted_quad.h"

#include <algorithm>
#include <charconv>
#include <sstream>

bool ParseMacText(const std::string& text, MacOctets& mac)
{
    if (text.size() != 17)
        return false;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        const char* digits = text.data() + i * 3;
        if (i > 0 && digits[-1] != '-' && digits[-1] != ':')
            return false;
        unsigned value = 0;
        const auto [ptr, ec] = std::from_chars(digits, digits + 2, value, 16);
        if (ec != std::errc() || ptr != digits + 2)
            return false;
        mac[i] = std::uint8_t(value);
    }
    return true;
}

bool ParseSetRequest(const std::vector<std::string>& words, SetRequest& request, std::string& error)
{
    if (words.size() < 2 || words.size() > 3) {
        error = "expected MAC ADDRESS [MASK]";
        return false;
    }
    if (!ParseMacText(words[0], request.mac)) {
        error = "Invalid MAC address: " + words[0];
        return false;
    }
    // The window's rules and texts, tested in its order: the address first.
    // As the window's address fields read them: a NUL does not end the text early.
    request.address = ParseAddressField(words[1]);
    if (!IsAcceptableAddress(request.address)) {
        error = "Invalid IP address: " + words[1];
        return false;
    }
    request.maskGiven = words.size() == 3;
    if (request.maskGiven) {
        request.mask = ParseAddressField(words[2]);
        if (!IsAcceptableMask(request.mask)) {
            error = "Invalid mask: " + words[2];
            return false;
        }
    }
    return true;
}

bool ParseSetList(const std::string& text, std::vector<SetRequest>& requests, std::string& error)
{
    requests.clear();
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        // Read up to a NUL, the line would pass for what stands before it.
        if (line.find('\0') != std::string::npos) {
            error = "line " + std::to_string(number) + ": the line holds a NUL character";
            return false;
        }
        line.erase(std::min(line.find('#'), line.size()));
        std::istringstream wordStream(line);
        std::vector<std::string> words;
        for (std::string word; wordStream >> word;)
            words.push_back(word);
        if (words.empty())
            continue;
        SetRequest request;
        if (!ParseSetRequest(words, request, error)) {
            error = "line " + std::to_string(number) + ": " + error;
            return false;
        }
        request.line = number;
        for (const SetRequest& earlier : requests) {
            // Two changes for one device: which one would it end with?
            if (earlier.mac == request.mac) {
                error = "line " + std::to_string(number) + ": " + FormatMacAddress(request.mac) +
                        " is already on line " + std::to_string(earlier.line);
                return false;
            }
            // Two devices at one new address: neither could be reached for sure.
            if (earlier.address == request.address) {
                error = "line " + std::to_string(number) + ": " + FormatDottedQuad(request.address) +
                        " is already given to " + FormatMacAddress(earlier.mac) + " on line " +
                        std::to_string(earlier.line);
                return false;
            }
        }
        requests.push_back(request);
    }
    if (requests.empty()) {
        error = "the list names no device";
        return false;
    }
    return true;
}
