#include "program_frame.h"

#include "version.h"

#include <cstdio>

int ReportFailure(const char* program, const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    return EXIT_PROGRAM_ERROR;
}

std::optional<int> AnswerCommandLine(const char* program, const char* usage, bool parsed, const std::string& error,
                                     bool help, bool version)
{
    if (!parsed) {
        std::fprintf(stderr, "%s: %s\n%s", program, error.c_str(), usage);
        return EXIT_PROGRAM_ERROR;
    }
    if (help) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (version) {
        std::printf("%s %s\n", program, CORVANE_VERSION_TEXT);
        return 0;
    }
    return std::nullopt;
}

int StatusAfterOutput(const char* program, int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return ReportFailure(program, "cannot write to standard output");
    return status;
}
