#pragma once
// The program itself (corvane-scan or corvane-set, one per executable), called by
// each platform's entry point with the command line in UTF-8; returns the exit status.

int RunProgram(int argc, char** argv);
// The name its messages begin with ("corvane-scan: ...").
extern const char PROGRAM_NAME[];
