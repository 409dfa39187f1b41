// corvane-scan's entry point where the command line already is UTF-8 bytes.

#include "scan_main.h"

int main(int argc, char** argv)
{
    return RunCorvaneScan(argc, argv);
}
