#pragma once
// corvane-scan itself, called by each platform's entry point with the command line
// in UTF-8; returns the exit status.

int RunCorvaneScan(int argc, char** argv);
