#include "set_devices.h"

#include "address_conflicts.h"
#include "device_line.h"
#include "dotted_quad.h"
#include "program_frame.h"
#include "set_output.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace {

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


const char* CommandName(const DISCOVERY_PACKET& datagram)
{
    return CommandOf(datagram) == CMD_SET_IP ? "set-ip" : "set-mask";
}

SetOutcome OutcomeOf(const PlannedChange& change, bool dryRun)
{
    SetOutcome outcome;
    outcome.mac = change.request.mac;
    outcome.newAddress = change.request.address;
    outcome.newMask = change.newMask;
    outcome.newMaskKnown = change.found || change.request.maskGiven;
    outcome.interfaceName = change.interfaceName;
    outcome.found = change.found;
    outcome.oldAddress = change.device.ipAddress;
    outcome.oldMask = change.device.ipMask;
    outcome.detail = change.detail;
    switch (change.verdict) {
    case ChangeVerdict::NotFound:
        outcome.status = SetStatus::NotFound;
        return outcome;
    case ChangeVerdict::Ambiguous:
        outcome.status = SetStatus::Ambiguous;
        return outcome;
    case ChangeVerdict::InvalidAddress:
        outcome.status = SetStatus::InvalidAddress;
        return outcome;
    case ChangeVerdict::InvalidMask:
        outcome.status = SetStatus::InvalidMask;
        return outcome;
    case ChangeVerdict::Unchanged:
        outcome.status = SetStatus::Unchanged;
        return outcome;
    case ChangeVerdict::Send:
        break;
    }
    // With --dry-run what would go out; otherwise what went out, and only that.
    const std::size_t named = dryRun ? change.datagrams.size() : change.sent;
    for (std::size_t i = 0; i < named; ++i)
        outcome.commands.push_back(CommandName(change.datagrams[i]));
    if (dryRun) {
        outcome.status = SetStatus::WouldSend;
        return outcome;
    }
    outcome.status = change.confirmed ? SetStatus::Confirmed : SetStatus::NotConfirmed;
    if (!change.SentWhole()) {
        std::string notSent;
        for (std::size_t i = change.sent; i < change.datagrams.size(); ++i)
            notSent += std::string(notSent.empty() ? "" : " and ") + CommandName(change.datagrams[i]);
        outcome.detail = notSent + " could not be sent out of " + change.interfaceName +
                         (change.sent > 0 ? "; the device may have the new address with its old mask" : "");
    }
    return outcome;
}

} // namespace

SetRun SetDevices(CScanSession& session, const SetOptions& options)
{
    SetRun run;
    // Every request is checked before anything is sent; a list before even the scan.
    std::vector<SetRequest> requests;
    if (!options.renumber && !ReadRequests(options, requests, run.error)) {
        run.status = EXIT_PROGRAM_ERROR;
        return run;
    }
    const ScanRound found = session.Scan(SET_FIND_WINDOW_MS);
    if (found.probe.end != ProbeEnd::Sent) {
        run.status = EXIT_PROGRAM_ERROR;
        run.error = found.probe.error;
        return run;
    }
    if (options.renumber) {
        const RenumberPlan plan = PlanRenumber(options.renumberFrom, options.first, options.mask, options.maskGiven,
                                               found.replies, found.probe.listed);
        if (!plan.error.empty()) {
            run.status = EXIT_PROGRAM_ERROR;
            run.error = plan.error;
            return run;
        }
        if (plan.requests.empty()) {
            run.status = 1;
            run.error = "no device answered with " + FormatDottedQuad(options.renumberFrom) + "; nothing sent";
            run.report = options.json ? FormatSetJson({}) : std::string();
            return run;
        }
        for (const ChangeRequest& change : plan.requests)
            requests.push_back({change.mac, change.address, change.mask, change.maskGiven, 0});
    }
    // No change may leave two hosts at one address, whatever else it would do.
    for (const SetRequest& request : requests) {
        const std::string conflict = WhyAddressConflict(
            {request.mac, request.address, request.mask, request.maskGiven}, found.replies, found.probe.listed);
        if (!conflict.empty()) {
            run.status = EXIT_PROGRAM_ERROR;
            run.error = (request.line > 0 ? "line " + std::to_string(request.line) + ": " : std::string()) +
                        FormatMacAddress(request.mac) + ": " + conflict + "; nothing sent";
            return run;
        }
    }
    std::vector<PlannedChange> changes;
    for (const SetRequest& request : requests)
        changes.push_back(
            CScanSession::Plan({request.mac, request.address, request.mask, request.maskGiven}, found.replies));
    if (!options.dryRun) {
        for (PlannedChange& change : changes)
            session.Send(change);
        session.Confirm(changes, options.timeoutMs, SET_RESCAN_WINDOW_MS);
    }

    std::vector<SetOutcome> outcomes;
    bool allSucceeded = true;
    for (const PlannedChange& change : changes) {
        outcomes.push_back(OutcomeOf(change, options.dryRun));
        allSucceeded = allSucceeded && SetSucceeded(outcomes.back().status);
    }
    run.report = options.json ? FormatSetJson(outcomes) : FormatSetText(outcomes);
    run.status = allSucceeded ? 0 : 1;
    return run;
}
