// corvane-scan: one discovery scan out of every usable interface, without a window,
// for scripts and test benches.

#include "scan_session.h"
#include "program_frame.h"
#include "program_main.h"
#include "tool_socket.h"
#include "scan_options.h"
#include "scan_output.h"

#include <cstdio>
#include <string>
#include <vector>

const char PROGRAM_NAME[] = "corvane-scan";

namespace {

constexpr int EXIT_FOUND = 0;
constexpr int EXIT_NONE_FOUND = 1;

int ScanAndPrint(int argc, char** argv)
{
    ScanOptions options;
    std::string error;
    const bool parsed = ParseScanOptions(argc, argv, options, error);
    if (const auto status = AnswerCommandLine(PROGRAM_NAME, SCAN_USAGE, parsed, error, options.help, options.version))
        return *status;

    ToolSocket tool(options.interfaceName);
    if (!tool.Socket().Open(error))
        return ReportFailure(PROGRAM_NAME, error);
    CScanSession session(tool.Socket(), SteadyClock(), options.interfaceName);
    const ScanRound round = session.Scan(options.timeoutMs);
    if (round.probe.end != ProbeEnd::Sent)
        return ReportFailure(PROGRAM_NAME, round.probe.error);

    std::vector<FoundDevice> found;
    const std::vector<AddressFindings> findings = FindAddressProblems(round.replies, round.probe.listed);
    for (std::size_t i = 0; i < round.replies.size(); ++i)
        found.push_back({round.replies[i].reply, round.replies[i].interfaceName, findings[i]});
    found = SortedAsListed(found);
    const std::string out = options.json ? FormatJson(found) : FormatTextLines(found);
    std::fwrite(out.data(), 1, out.size(), stdout);
    // Information, not failures: the list and the exit status stay as they are.
    if (!options.json) {
        const std::string notes = FormatAddressNotes(found);
        std::fwrite(notes.data(), 1, notes.size(), stderr);
    }
    if (options.stats) {
        std::string names;
        for (const NetworkInterface& via : round.probe.probed)
            names += (names.empty() ? "" : ",") + via.name;
        std::fprintf(stderr, "probes: %d (%s); devices: %zu; first probe to last device: %.1f ms\n",
                     round.probe.sent, names.c_str(), found.size(),
                     round.lastReplyMs - round.firstProbeMs);
    }
    return found.empty() ? EXIT_NONE_FOUND : EXIT_FOUND;
}

} // namespace

int RunProgram(int argc, char** argv)
{
    return StatusAfterOutput(PROGRAM_NAME, ScanAndPrint(argc, argv));
}
