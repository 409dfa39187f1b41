#include "command_line.h"
#include "corvane_app.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    // Answered before the application object exists: no display, window or socket needed.
    const StartAction action = ChooseStartAction(argc, argv);
    if (action != StartAction::RunProgram) {
        const char* invoked = argc > 0 && argv[0] != nullptr ? argv[0] : "";
        const char* slash = std::strrchr(invoked, '/');
        std::string name = slash ? slash + 1 : invoked;
        if (name.empty())
            name = "Corvane";
        const std::string text = action == StartAction::PrintHelp ? UsageText(name) : VersionLine(name);
        std::fputs(text.c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    CCorvaneApp app(argc, argv);
    app.InitInstance();
    return 0;
}
