#pragma once
// The application object: runs the main window as a modal dialog and ends with it.

#include <QApplication>

class CCorvaneApp : public QApplication {
    Q_OBJECT
public:
    CCorvaneApp(int& argc, char** argv);

    // Shows the main window until it is closed; false in every case, as the program
    // then has nothing more to do.
    bool InitInstance();
};
