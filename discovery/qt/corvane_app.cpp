#include "corvane_app.h"

#include "device_list_dlg.h"
#include "program_icon.h"
#include "version.h"

CCorvaneApp::CCorvaneApp(int& argc, char** argv) : QApplication(argc, argv)
{
    // The application name stays the executable's, as message boxes are captioned with it.
    setApplicationVersion(QStringLiteral(CORVANE_VERSION_TEXT));
    setWindowIcon(LoadProgramIcon());
}

bool CCorvaneApp::InitInstance()
{
    CDeviceListDlg dialog;
    dialog.exec();
    return false;
}
