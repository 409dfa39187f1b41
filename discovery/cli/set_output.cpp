#include "set_output.h"

#include "device_line.h"
#include "dotted_quad.h"
#include "program_messages.h"
#include "scan_output.h"

const char* SetStatusText(SetStatus status)
{
    switch (status) {
    case SetStatus::Confirmed: return "confirmed";
    case SetStatus::NotConfirmed: return "not confirmed";
    case SetStatus::Unchanged: return "unchanged";
    case SetStatus::WouldSend: return "would send";
    case SetStatus::NotFound: return "not found";
    case SetStatus::Ambiguous: return "ambiguous";
    case SetStatus::InvalidAddress: return MSG_INVALID_IP_ADDRESS;
    case SetStatus::InvalidMask: return MSG_INVALID_MASK;
    }
    return "?";
}

bool SetSucceeded(SetStatus status)
{
    return status == SetStatus::Confirmed || status == SetStatus::Unchanged || status == SetStatus::WouldSend;
}

namespace {

std::string Quad(bool known, const IpOctets& value)
{
    return known ? FormatDottedQuad(value) : "-";
}

std::string JsonQuad(bool known, const IpOctets& value)
{
    return known ? JsonString(FormatDottedQuad(value)) : "null";
}

std::string Joined(const std::vector<std::string>& words, const char* between)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : between) + word;
    return text;
}

} // namespace

std::string FormatSetText(const std::vector<SetOutcome>& outcomes)
{
    std::string text;
    for (const SetOutcome& o : outcomes) {
        text += FormatMacAddress(o.mac) + " " + Quad(o.found, o.oldAddress) + " " + Quad(o.found, o.oldMask) +
                " -> " + FormatDottedQuad(o.newAddress) + " " + Quad(o.newMaskKnown, o.newMask) + " " +
                SetStatusText(o.status);
        if (!o.interfaceName.empty())
            text += " on " + o.interfaceName;
        if (!o.commands.empty())
            text += " (" + Joined(o.commands, ", ") + ")";
        if (!o.detail.empty())
            text += ": " + o.detail;
        text += "\n";
    }
    return text;
}

std::string FormatSetJson(const std::vector<SetOutcome>& outcomes)
{
    std::string json = "[";
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const SetOutcome& o = outcomes[i];
        std::vector<std::string> commands;
        for (const std::string& command : o.commands)
            commands.push_back(JsonString(command));
        json += i == 0 ? "\n" : ",\n";
        json += "  {\"mac\": " + JsonString(FormatMacAddress(o.mac)) +
                ", \"interface\": " + (o.interfaceName.empty() ? "null" : JsonString(o.interfaceName)) +
                ", \"oldAddress\": " + JsonQuad(o.found, o.oldAddress) +
                ", \"oldMask\": " + JsonQuad(o.found, o.oldMask) +
                ", \"newAddress\": " + JsonQuad(true, o.newAddress) +
                ", \"newMask\": " + JsonQuad(o.newMaskKnown, o.newMask) +
                ", \"commands\": [" + Joined(commands, ", ") + "]" +
                ", \"status\": " + JsonString(SetStatusText(o.status)) +
                ", \"detail\": " + JsonString(o.detail) + "}";
    }
    return json + (outcomes.empty() ? "]\n" : "\n]\n");
}
