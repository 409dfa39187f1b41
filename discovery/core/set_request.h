#pragma once
// What corvane-set is asked to do: one device's new address and perhaps mask,
// from the command line or from a list, checked by the window's rules (and its
// address fields' reading of text) before anything is sent.

#include "discovery_packet.h"

#include <string>
#include <vector>

struct SetRequest {
    MacOctets mac{};
    IpOctets address{};
    IpOctets mask{};
    bool maskGiven = false;   // else the device keeps the mask it reports
    int line = 0;             // in the list; 0 on the command line
};

// A MAC as Corvane writes it, 02-C0-4E-00-00-01, or with colons; either case.
bool ParseMacText(const std::string& text, MacOctets& mac);
// MAC ADDRESS [MASK]; false with the reason ("Invalid IP address: 10.0.0.255").
bool ParseSetRequest(const std::vector<std::string>& words, SetRequest& request, std::string& error);
// One request a line; blank lines and '#' to the end of a line are skipped. False at
// the first bad line, with "line N: reason": a MAC named twice, a new address given
// twice and a line holding a NUL are bad lines too.
bool ParseSetList(const std::string& text, std::vector<SetRequest>& requests, std::string& error);
