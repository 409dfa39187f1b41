// corvane-set: changes devices' addresses from the command line or a list, by the
// window's rules, and rescans until each device shows its new values.

#include "interface_list.h"
#include "probe_socket.h"
#include "program_frame.h"
#include "program_main.h"
#include "set_devices.h"

#include <cstdio>
#include <string>
#include <vector>

const char PROGRAM_NAME[] = "corvane-set";

namespace {

int SetAndConfirm(int argc, char** argv)
{
    SetOptions options;
    std::string error;
    const bool parsed = ParseSetOptions(argc, argv, options, error);
    if (const auto status = AnswerCommandLine(PROGRAM_NAME, SET_USAGE, parsed, error, options.help, options.version))
        return *status;
    // --interface: the sockets are made on that interface alone, and the list is read
    // afresh at every send.
    OnlyInterface only(SystemInterfaces(), options.interfaceName);
    ProbeEndpoints endpoints;
    if (!options.interfaceName.empty())
        endpoints.interfaces = &only;
    ProbeSocket socket(endpoints);
    if (!socket.Open(error))
        return ReportFailure(PROGRAM_NAME, error);
    CScanSession session(socket, SteadyClock(), options.interfaceName);
    const SetRun run = SetDevices(session, options);
    if (run.status == EXIT_PROGRAM_ERROR)
        return ReportFailure(PROGRAM_NAME, run.error);
    if (!run.error.empty())
        std::fprintf(stderr, "%s: %s\n", PROGRAM_NAME, run.error.c_str());
    std::fwrite(run.report.data(), 1, run.report.size(), stdout);
    return run.status;
}

} // namespace

int RunProgram(int argc, char** argv)
{
    return StatusAfterOutput(PROGRAM_NAME, SetAndConfirm(argc, argv));
}
