// corvane-set: changes devices' addresses from the command line or a list, by the
// window's rules, and rescans until each device shows its new values.

#include "address_rules.h"
#include "device_line.h"
#include "device_scan.h"
#include "program_frame.h"
#include "program_main.h"
#include "set_options.h"
#include "set_output.h"
#include "set_request.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

const char PROGRAM_NAME[] = "corvane-set";

namespace {

constexpr int EXIT_ALL_CONFIRMED = 0;
constexpr int EXIT_NOT_CONFIRMED = 1;
// Each rescan waits this long at most before it probes again.
constexpr int RESCAN_WINDOW_MS = 500;

bool ReadList(const std::string& name, std::string& text, std::string& error)
{
    if (name == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        if (std::cin.bad()) {
            error = "cannot read standard input";
            return false;
        }
        return true;
    }
    // The name is UTF-8 on every platform; a path made from it opens the same file on Windows too.
    std::ifstream file(std::filesystem::path(std::u8string(name.begin(), name.end())), std::ios::binary);
    if (!file) {
        error = "cannot open " + name;
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        error = "cannot read " + name;
        return false;
    }
    text = content.str();
    return true;
}

bool ReadRequests(const SetOptions& options, std::vector<SetRequest>& requests, std::string& error)
{
    if (!options.fromGiven) {
        requests.resize(1);
        return ParseSetRequest(options.change, requests[0], error);
    }
    std::string text;
    return ReadList(options.fromFile, text, error) && ParseSetList(text, requests, error);
}

// One device asked for, from the scan that finds it to its confirmation.
struct Change {
    SetOutcome outcome;
    unsigned interfaceIndex = 0;
    std::vector<DISCOVERY_PACKET> datagrams;
    bool awaiting = false;   // sent; no rescan has shown the new values yet
};

Change PlanChange(const SetRequest& request, const std::vector<ScannedDevice>& found, bool dryRun)
{
    Change change;
    SetOutcome& outcome = change.outcome;
    outcome.mac = request.mac;
    outcome.newAddress = request.address;
    outcome.newMask = request.mask;
    outcome.newMaskKnown = request.maskGiven;

    std::vector<const ScannedDevice*> answers;
    for (const ScannedDevice& device : found)
        if (device.found.reply.macAddress == request.mac)
            answers.push_back(&device);
    if (answers.empty()) {
        outcome.status = SetStatus::NotFound;
        outcome.detail = "no answer from this MAC address; nothing sent";
        return change;
    }
    std::vector<std::string> where;
    bool differing = false;   // two devices with one MAC behind one interface
    for (const ScannedDevice* answer : answers) {
        const DISCOVERY_PACKET& first = answers.front()->found.reply;
        if (answer->interfaceIndex != answers.front()->interfaceIndex) {
            if (std::find(where.begin(), where.end(), answer->found.interfaceName) == where.end())
                where.push_back(answer->found.interfaceName);
        } else if (answer->found.reply.ipAddress != first.ipAddress || answer->found.reply.ipMask != first.ipMask) {
            differing = true;
        }
    }
    if (!where.empty() || differing) {
        where.insert(where.begin(), answers.front()->found.interfaceName);
        outcome.status = SetStatus::Ambiguous;
        std::string names;
        for (const std::string& name : where)
            names += (names.empty() ? "" : " and ") + name;
        outcome.detail = differing && where.size() == 1
                             ? "devices with different values answer with this MAC address on " + names +
                                   "; nothing sent"
                             : "answers on " + names + "; choose one with --interface; nothing sent";
        return change;
    }

    const ScannedDevice& device = *answers.front();
    change.interfaceIndex = device.interfaceIndex;
    outcome.interfaceName = device.found.interfaceName;
    outcome.found = true;
    outcome.oldAddress = device.found.reply.ipAddress;
    outcome.oldMask = device.found.reply.ipMask;
    if (!request.maskGiven)
        outcome.newMask = outcome.oldMask;
    outcome.newMaskKnown = true;
    const AddressChangePlan plan = PlanAddressChange(device.found.reply, outcome.newAddress, outcome.newMask);
    switch (plan.verdict) {
    case AddressChangeVerdict::InvalidAddress:   // refused before the scan; kept for completeness
    case AddressChangeVerdict::InvalidMask:
        outcome.status = SetStatus::InvalidMask;
        outcome.detail = "the device's own mask is refused by the rules; give a mask; nothing sent";
        return change;
    case AddressChangeVerdict::Unchanged:
        outcome.status = SetStatus::Unchanged;
        return change;
    case AddressChangeVerdict::Send:
        break;
    }
    change.datagrams = plan.datagrams;
    for (const DISCOVERY_PACKET& datagram : plan.datagrams)
        outcome.commands.push_back(CommandOf(datagram) == CMD_SET_IP ? "set-ip" : "set-mask");
    outcome.status = dryRun ? SetStatus::WouldSend : SetStatus::NotConfirmed;
    return change;
}

bool ShowsNewValues(const Change& change, const ScannedDevice& device)
{
    const DISCOVERY_PACKET& reply = device.found.reply;
    return reply.macAddress == change.outcome.mac && device.interfaceIndex == change.interfaceIndex &&
           reply.ipAddress == change.outcome.newAddress && reply.ipMask == change.outcome.newMask;
}

// Marks the changes the replies confirm; true when none awaits any more.
bool Confirm(std::vector<Change>& changes, const std::vector<ScannedDevice>& replies)
{
    bool allDone = true;
    for (Change& change : changes) {
        if (!change.awaiting)
            continue;
        for (const ScannedDevice& reply : replies) {
            if (ShowsNewValues(change, reply)) {
                change.awaiting = false;
                change.outcome.status = SetStatus::Confirmed;
                break;
            }
        }
        allDone = allDone && !change.awaiting;
    }
    return allDone;
}

// Rescans the interfaces of the changes still awaited until all are confirmed or
// `timeoutMs` has passed.
void RescanUntilConfirmed(ProbeSocket& socket, const std::vector<NetworkInterface>& probed,
                          const std::vector<NetworkInterface>& listed, std::vector<Change>& changes, int timeoutMs)
{
    const ScanClock::time_point deadline = ScanClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::vector<NetworkInterface> toProbe;
        for (const NetworkInterface& via : probed)
            for (const Change& change : changes)
                if (change.awaiting && change.interfaceIndex == via.index) {
                    toProbe.push_back(via);
                    break;
                }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - ScanClock::now()).count();
        if (toProbe.empty() || left <= 0)
            return;
        std::vector<Change>* pending = &changes;
        const ScanRound round =
            ScanOnce(socket, toProbe, listed, int(std::min<long long>(left, RESCAN_WINDOW_MS)), PROGRAM_NAME,
                     [pending](const std::vector<ScannedDevice>& replies) { return Confirm(*pending, replies); });
        // With no probe out (the interfaces are gone) no answer can come: no busy loop till the deadline.
        if (round.probesSent == 0)
            return;
    }
}

int SetAndConfirm(int argc, char** argv)
{
    SetOptions options;
    std::string error;
    const bool parsed = ParseSetOptions(argc, argv, options, error);
    if (const auto status = AnswerCommandLine(PROGRAM_NAME, SET_USAGE, parsed, error, options.help, options.version))
        return *status;
    // Every request is checked before the network is touched.
    std::vector<SetRequest> requests;
    if (!ReadRequests(options, requests, error))
        return ReportFailure(PROGRAM_NAME, error);

    std::vector<NetworkInterface> listed, probed;
    ProbeSocket socket;
    if (!PrepareScan(options.interfaceName, listed, probed, socket, error))
        return ReportFailure(PROGRAM_NAME, error);
    const ScanRound found = ScanOnce(socket, probed, listed, SET_FIND_WINDOW_MS, PROGRAM_NAME);
    if (found.probesSent == 0)
        return ReportFailure(PROGRAM_NAME, "no probe could be sent");
    std::vector<Change> changes;
    for (const SetRequest& request : requests)
        changes.push_back(PlanChange(request, found.devices, options.dryRun));

    if (!options.dryRun) {
        for (Change& change : changes) {
            bool sent = !change.datagrams.empty();
            // Set-IP before set-mask, back to back, out of the interface the device answered on.
            for (const DISCOVERY_PACKET& datagram : change.datagrams)
                sent = socket.SendOnInterface(datagram, change.interfaceIndex) && sent;
            change.awaiting = sent;
            if (!change.datagrams.empty() && !sent)
                change.outcome.detail = "could not be sent: " + change.outcome.interfaceName + " is gone or down";
        }
        RescanUntilConfirmed(socket, probed, listed, changes, options.timeoutMs);
    }

    std::vector<SetOutcome> outcomes;
    bool allSucceeded = true;
    for (const Change& change : changes) {
        outcomes.push_back(change.outcome);
        allSucceeded = allSucceeded && SetSucceeded(change.outcome.status);
    }
    const std::string out = options.json ? FormatSetJson(outcomes) : FormatSetText(outcomes);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return allSucceeded ? EXIT_ALL_CONFIRMED : EXIT_NOT_CONFIRMED;
}

} // namespace

int RunProgram(int argc, char** argv)
{
    return StatusAfterOutput(PROGRAM_NAME, SetAndConfirm(argc, argv));
}
