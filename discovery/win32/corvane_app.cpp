#include "corvane_app.h"

#include "device_list_dlg.h"
#include "message_box.h"
#include "resource_ids.h"
#include "win32_headers.h"

bool CCorvaneApp::InitInstance()
{
    CDeviceListDlg dialog;
    // Version 1.1 exactly: the program is written to it.
    WSADATA sockets{};
    const WORD wanted = MAKEWORD(1, 1);
    const bool started = ::WSAStartup(wanted, &sockets) == 0;
    if (!started || sockets.wVersion != wanted) {
        if (started)
            ::WSACleanup();
        ShowProgramString(nullptr, IDS_SOCKETS_INIT_FAILED);
        return false;
    }
    dialog.DoModal();
    ::WSACleanup();
    return false;
}
