// The entry point where the command line already is UTF-8 bytes.

#include "program_main.h"

int main(int argc, char** argv)
{
    return RunProgram(argc, argv);
}
