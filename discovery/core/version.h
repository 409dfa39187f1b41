#pragma once
// Version of the program, also written into the Windows version resource.

#define CORVANE_VERSION_TEXT "1.0.0.1"
#define CORVANE_FILE_VERSION 1, 0, 0, 1
#define CORVANE_FILE_VERSION_STRING "1, 0, 0, 1"
