#pragma once
// What corvane-set reports for each device asked for: old and new values and how it ended.

#include "discovery_packet.h"

#include <string>
#include <vector>

enum class SetStatus {
    Confirmed,      // a rescan showed the new values
    NotConfirmed,   // sent, but no rescan showed the new values in time
    Unchanged,      // the device already has these values: nothing sent
    WouldSend,      // --dry-run: found, and this is what would go out
    NotFound,       // no answer from this MAC: nothing sent
    Ambiguous,      // answers on more than one interface: nothing sent
    InvalidAddress, // the address fails the rules: nothing sent
    InvalidMask,    // no mask given and the device's own one fails the rules: nothing sent
};

struct SetOutcome {
    MacOctets mac{};
    std::string interfaceName;     // where the device answered; empty if not found
    bool found = false;            // the old values are known
    IpOctets oldAddress{}, oldMask{};
    IpOctets newAddress{}, newMask{};
    bool newMaskKnown = false;     // given, or taken from the device
    std::vector<std::string> commands;   // "set-ip", "set-mask": those that went out, or would go
    SetStatus status = SetStatus::NotFound;
    std::string detail;            // why, for the statuses that need it
};

// The status as printed: "confirmed", "not confirmed", ...
const char* SetStatusText(SetStatus status);
// True for the statuses that end corvane-set with 0.
bool SetSucceeded(SetStatus status);
// One line per device: MAC OLD-ADDRESS OLD-MASK -> NEW-ADDRESS NEW-MASK STATUS, with "-"
// for a value not known, then the interface and any detail.
std::string FormatSetText(const std::vector<SetOutcome>& outcomes);
// A JSON array with one object per device: mac, interface, oldAddress, oldMask,
// newAddress, newMask (null when not known), commands, status, detail.
std::string FormatSetJson(const std::vector<SetOutcome>& outcomes);
