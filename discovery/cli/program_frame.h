#pragma once
// What both command-line programs do around their work: the answers to --help,
// --version and a bad command line, failures on standard error, and output that
// must have been written.

#include <optional>
#include <string>

constexpr int EXIT_PROGRAM_ERROR = 2;

// "PROGRAM: message" on standard error; returns 2.
int ReportFailure(const char* program, const std::string& message);
// The exit status when the command line was bad (reason and usage on standard
// error: 2) or asked for help or the version (printed: 0); nothing when the work goes on.
std::optional<int> AnswerCommandLine(const char* program, const char* usage, bool parsed, const std::string& error,
                                     bool help, bool version);
// `status`, or 2 with a message when standard output could not be written:
// a full disk or a closed output must not pass for a report that was printed.
int StatusAfterOutput(const char* program, int status);
