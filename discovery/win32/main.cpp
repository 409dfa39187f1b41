#include "corvane_app.h"
#include "win32_headers.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CCorvaneApp app;
    app.InitInstance();
    return 0;
}
