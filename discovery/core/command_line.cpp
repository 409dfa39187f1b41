#include "command_line.h"

#include "version.h"

#include <cstring>

StartAction ChooseStartAction(int argc, const char* const* argv)
{
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            break;
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0)
            return StartAction::PrintHelp;
        if (std::strcmp(argument, "--version") == 0 || std::strcmp(argument, "-V") == 0)
            return StartAction::PrintVersion;
    }
    return StartAction::RunProgram;
}

std::string UsageText(const std::string& programName)
{
    return "Usage: " + programName + " [--help] [--version]\n"
           "Finds the devices on the local Ethernet segment with one UDP broadcast,\n"
           "lists them, changes a device's IP address and subnet mask, and opens its\n"
           "web page. Keys: F5 rescans, Enter changes the selected device's address,\n"
           "Alt+Enter opens its web page.\n"
           "\n"
           "  -h, --help     print this text and exit\n"
           "  -V, --version  print the version and exit\n"
           "\n"
           "Other arguments go to the user-interface toolkit (e.g. -platform offscreen).\n";
}

std::string VersionLine(const std::string& programName)
{
    return programName + " " CORVANE_VERSION_TEXT "\n";
}
