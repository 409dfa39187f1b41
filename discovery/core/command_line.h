#pragma once
// The few options the program answers before it starts its window.

#include <string>

enum class StartAction {
    RunProgram,    // nothing for us: start the window (toolkit options pass through)
    PrintHelp,
    PrintVersion,
};

// Looks at argv for --help (-h) and --version (-V); the first one found wins.
// Anything after "--" is left alone, as is every other argument.
StartAction ChooseStartAction(int argc, const char* const* argv);

// The text for --help, naming the program as `programName`.
std::string UsageText(const std::string& programName);

// The line for --version.
std::string VersionLine(const std::string& programName);
