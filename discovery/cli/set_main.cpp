// corvane-set: changes devices' addresses from the command line or a list, by the
// window's rules, and rescans until each device shows its new values.

#include "program_frame.h"
#include "program_main.h"
#include "tool_socket.h"
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
    ToolSocket tool(options.interfaceName);
    if (!tool.Socket().Open(error))
        return ReportFailure(PROGRAM_NAME, error);
    CScanSession session(tool.Socket(), SteadyClock(), options.interfaceName);
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
