#include "corvane_app.h"

int main(int argc, char** argv)
{
    CCorvaneApp app(argc, argv);
    app.InitInstance();
    return 0;
}
