#pragma once
// The application: starts Windows Sockets and runs the main window.

class CCorvaneApp {
public:
    // Runs the program to its end. Always false: the program ends when it returns.
    bool InitInstance();
};
